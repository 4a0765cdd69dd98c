#pragma once

#include "FocusSource.h"

#include <QByteArray>
#include <QJsonObject>

class QLocalSocket;

// The focused window on sway, over its IPC socket: the focused node of the
// tree once, then window and workspace events as they come.
class SwayFocus : public FocusSource {
    Q_OBJECT
public:
    SwayFocus(const QString &socketPath, QObject *parent = nullptr);

    // The window a sway node stands for; nullopt for a workspace or output.
    static std::optional<FocusedWindow> windowOf(const QJsonObject &node);
    // The focused node anywhere in a tree, or an empty object.
    static QJsonObject focusedNode(const QJsonObject &tree);

private:
    void send(quint32 type, const QByteArray &payload);
    void readMessages();
    void handle(quint32 type, const QByteArray &payload);
    void fail(const QString &why);

    QLocalSocket *m_socket;
    QByteArray m_buffer;
    bool m_warned = false;
};
