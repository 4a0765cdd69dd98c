#include "SwayFocus.h"

#include "TrackingLog.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>

#include <cstring>

using namespace Qt::StringLiterals;

namespace {

constexpr char magic[] = "i3-ipc";
constexpr qsizetype magicSize = 6;
constexpr qsizetype headerSize = magicSize + 8;
constexpr quint32 subscribe = 2;
constexpr quint32 getTree = 4;
constexpr quint32 eventBit = 0x80000000u;
constexpr quint32 workspaceEvent = eventBit | 0;
constexpr quint32 windowEvent = eventBit | 3;
// No tree of a real desktop comes near this; more is a broken stream.
constexpr quint32 largestMessage = 64u << 20;

} // namespace

SwayFocus::SwayFocus(const QString &socketPath, QObject *parent)
    : FocusSource(parent)
    , m_socket(new QLocalSocket(this))
{
    connect(m_socket, &QLocalSocket::connected, this, [this] {
        send(subscribe, R"(["window","workspace"])");
        send(getTree, {});
    });
    connect(m_socket, &QLocalSocket::readyRead, this, &SwayFocus::readMessages);
    connect(m_socket, &QLocalSocket::errorOccurred, this, [this] { fail(m_socket->errorString()); });
    connect(m_socket, &QLocalSocket::disconnected, this, [this] { fail(u"sway closed the socket"_s); });
    m_socket->connectToServer(socketPath);
}

void SwayFocus::send(quint32 type, const QByteArray &payload)
{
    QByteArray message(magic, magicSize);
    const quint32 size = quint32(payload.size());
    message.append(reinterpret_cast<const char *>(&size), 4);   // sway speaks native byte order
    message.append(reinterpret_cast<const char *>(&type), 4);
    message.append(payload);
    m_socket->write(message);
}

void SwayFocus::readMessages()
{
    m_buffer.append(m_socket->readAll());
    while (m_buffer.size() >= headerSize) {
        quint32 size = 0, type = 0;
        std::memcpy(&size, m_buffer.constData() + magicSize, 4);
        std::memcpy(&type, m_buffer.constData() + magicSize + 4, 4);
        if (std::memcmp(m_buffer.constData(), magic, magicSize) != 0 || size > largestMessage) {
            fail(u"a message that is not sway IPC"_s);
            return;
        }
        if (m_buffer.size() < headerSize + qsizetype(size))
            return;
        const QByteArray payload = m_buffer.mid(headerSize, size);
        m_buffer.remove(0, headerSize + size);
        handle(type, payload);
        if (m_socket->state() != QLocalSocket::ConnectedState)
            return;
    }
}

void SwayFocus::handle(quint32 type, const QByteArray &payload)
{
    const QJsonObject body = QJsonDocument::fromJson(payload).object();
    if (type == getTree) {
        setWindow(windowOf(focusedNode(body)));
    } else if (type == windowEvent) {
        const QString change = body.value("change"_L1).toString();
        if (change == "focus"_L1)
            setWindow(windowOf(body.value("container"_L1).toObject()));
        else if (change == "close"_L1 || change == "move"_L1)
            send(getTree, {});   // focus may now be on nothing
    } else if (type == workspaceEvent) {
        if (body.value("change"_L1).toString() == "focus"_L1)
            send(getTree, {});   // an empty workspace focuses no window
    }
}

std::optional<FocusedWindow> SwayFocus::windowOf(const QJsonObject &node)
{
    const QString nodeType = node.value("type"_L1).toString();
    if (nodeType != "con"_L1 && nodeType != "floating_con"_L1)
        return std::nullopt;
    FocusedWindow window;
    window.appId = node.value("app_id"_L1).toString().trimmed();   // null for Xwayland windows
    window.wmClass = node.value("window_properties"_L1).toObject().value("class"_L1).toString().trimmed();
    window.pid = node.value("pid"_L1).toInteger();
    if (window.appId.isEmpty() && window.wmClass.isEmpty() && window.pid <= 0)
        return std::nullopt;   // a split container, not a window
    return window;
}

QJsonObject SwayFocus::focusedNode(const QJsonObject &tree)
{
    if (tree.value("focused"_L1).toBool())
        return tree;
    for (const auto key : {"nodes"_L1, "floating_nodes"_L1}) {
        for (const QJsonValue child : tree.value(key).toArray()) {
            const QJsonObject found = focusedNode(child.toObject());
            if (!found.isEmpty())
                return found;
        }
    }
    return {};
}

void SwayFocus::fail(const QString &why)
{
    if (!m_warned) {
        m_warned = true;
        qCWarning(lcTracking) << "focus: sway's IPC socket failed:" << why;
    }
    m_socket->abort();
    m_buffer.clear();
    setGone();
}
