#pragma once

#include <QObject>

// Follows logind's PrepareForSleep on the system bus: `sleeping` just before
// the computer suspends or hibernates, `woke` right after it resumes. Without
// a system bus or logind nothing is ever emitted.
class SystemSleep : public QObject {
    Q_OBJECT
public:
    explicit SystemSleep(QObject *parent = nullptr);

    // The signal is being followed.
    bool watching() const { return m_watching; }

Q_SIGNALS:
    void sleeping();
    void woke();

private Q_SLOTS:
    void prepareForSleep(bool start);

private:
    bool m_watching = false;
};
