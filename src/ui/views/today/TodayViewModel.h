#pragma once

#include "ChangedProperties.h"

#include <QObject>
#include <QPointer>
#include <QQmlEngine>

class AppModel;

// The texts of the Today screen: the productivity ring, the four tiles and
// the week card, from the server's statistics and the model's own totals.
class TodayViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

    // The ring's filled share, 0.001…1 (never empty, so the cap shows), and "85%".
    Q_PROPERTY(double ringFraction READ ringFraction NOTIFY ringFractionChanged)
    Q_PROPERTY(QString percentText READ percentText NOTIFY percentTextChanged)
    // "09:04 AM – 03:12 PM".
    Q_PROPERTY(QString activitySpan READ activitySpan NOTIFY activitySpanChanged)
    Q_PROPERTY(QString trackedValue READ trackedValue NOTIFY trackedValueChanged)
    Q_PROPERTY(QString productiveValue READ productiveValue NOTIFY productiveValueChanged)
    Q_PROPERTY(QString meetingValue READ meetingValue NOTIFY meetingValueChanged)
    Q_PROPERTY(QString manualValue READ manualValue NOTIFY manualValueChanged)
    Q_PROPERTY(QString weekValue READ weekValue NOTIFY weekValueChanged)
    // Refresh is offered outside the demo while no refresh runs.
    Q_PROPERTY(bool canRefresh READ canRefresh NOTIFY canRefreshChanged)
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)

public:
    explicit TodayViewModel(AppModel *model, QObject *parent = nullptr);
    static TodayViewModel *create(QQmlEngine *engine, QJSEngine *);

    double ringFraction() const;
    QString percentText() const;
    QString activitySpan() const;
    QString trackedValue() const;
    QString productiveValue() const;
    QString meetingValue() const;
    QString manualValue() const;
    QString weekValue() const;
    bool canRefresh() const;
    bool loading() const;

    Q_INVOKABLE void refresh();

Q_SIGNALS:
    // One of the sources every text follows from changed.
    void changed();
    // Each property's own signal, only when its value changed (ChangedProperties).
    void ringFractionChanged(); void percentTextChanged(); void activitySpanChanged();
    void trackedValueChanged(); void productiveValueChanged(); void meetingValueChanged();
    void manualValueChanged(); void weekValueChanged(); void canRefreshChanged();
    void loadingChanged();

private:
    QPointer<AppModel> m_model;
    ChangedProperties m_changes{this, [this](const QMetaMethod &s) { return isSignalConnected(s); }};
};
