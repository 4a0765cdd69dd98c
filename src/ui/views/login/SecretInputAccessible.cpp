#include "SecretInputAccessible.h"

#include <QQuickWindow>

SecretInputAccessible::SecretInputAccessible(QQuickItem *input)
    : QAccessibleObject(input)
{
}

void SecretInputAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(&SecretInputAccessible::factory);
        return true;
    }();
    Q_UNUSED(installed);
}

QAccessibleInterface *SecretInputAccessible::factory(const QString &className, QObject *object)
{
    // Asked once per class of the object's hierarchy, most derived first:
    // answer on that first call, before Qt Quick's factory takes the item.
    if (!object || className != QLatin1StringView(object->metaObject()->className()))
        return nullptr;
    // Qt asks as the input is made, before its echo mode is set, and keeps
    // the answer: so take every input that declares the label, and read the
    // echo mode each time.
    if (!object->inherits("QQuickTextInput") || object->metaObject()->indexOfProperty("accessibleLabel") < 0)
        return nullptr;
    return new SecretInputAccessible(static_cast<QQuickItem *>(object));
}

QQuickItem *SecretInputAccessible::input() const
{
    return static_cast<QQuickItem *>(object());
}

bool SecretInputAccessible::hides() const
{
    // TextInput.Normal is 0; NoEcho, Password and PasswordEchoOnEdit hide the text.
    return input() && input()->property("echoMode").toInt() != 0;
}

QString SecretInputAccessible::shown() const
{
    return input() ? input()->property("displayText").toString() : QString();
}

QWindow *SecretInputAccessible::window() const
{
    return input() ? input()->window() : nullptr;
}

QAccessibleInterface *SecretInputAccessible::parent() const
{
    QQuickItem *item = input();
    if (!item)
        return nullptr;
    // The nearest ancestor in the tree; the window stands for its content item.
    for (QQuickItem *up = item->parentItem(); up; up = up->parentItem()) {
        if (item->window() && up == item->window()->contentItem())
            return QAccessible::queryAccessibleInterface(item->window());
        if (QAccessibleInterface *found = QAccessible::queryAccessibleInterface(up))
            return found;
    }
    return nullptr;
}

QString SecretInputAccessible::text(QAccessible::Text kind) const
{
    if (!input())
        return {};
    switch (kind) {
    case QAccessible::Name:
        return input()->property("accessibleLabel").toString();
    case QAccessible::Value:
        return shown();
    default:
        return {};
    }
}

QRect SecretInputAccessible::rect() const
{
    QQuickItem *item = input();
    if (!item || !item->window() || !item->isVisible())
        return {};
    const QPoint topLeft = item->window()->mapToGlobal(item->mapToScene(QPointF(0, 0)).toPoint());
    return QRect(topLeft, QSize(int(item->width()), int(item->height())));
}

QAccessible::State SecretInputAccessible::state() const
{
    QAccessible::State state;
    QQuickItem *item = input();
    if (!item)
        return state;
    state.editable = true;
    state.passwordEdit = hides();
    state.focusable = true;
    state.focused = item->hasActiveFocus();
    state.readOnly = item->property("readOnly").toBool();
    state.disabled = !item->isEnabled();
    state.invisible = !item->isVisible() || !item->window() || !item->window()->isVisible();
    return state;
}

void *SecretInputAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleObject::interface_cast(type);
}

void SecretInputAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = 0;
    *endOffset = 0;
    if (selectionIndex == 0 && input()) {
        *startOffset = input()->property("selectionStart").toInt();
        *endOffset = input()->property("selectionEnd").toInt();
    }
}

int SecretInputAccessible::selectionCount() const
{
    int start = 0, end = 0;
    selection(0, &start, &end);
    return start != end ? 1 : 0;
}

int SecretInputAccessible::cursorPosition() const
{
    return input() ? input()->property("cursorPosition").toInt() : 0;
}

void SecretInputAccessible::setCursorPosition(int position)
{
    if (input())
        input()->setProperty("cursorPosition", position);
}

QString SecretInputAccessible::text(int startOffset, int endOffset) const
{
    const QString all = shown();
    startOffset = qBound(0, startOffset, int(all.size()));
    endOffset = endOffset < 0 ? int(all.size()) : qBound(startOffset, endOffset, int(all.size()));
    return all.mid(startOffset, endOffset - startOffset);
}

int SecretInputAccessible::characterCount() const
{
    return int(shown().size());
}

QString SecretInputAccessible::attributes(int offset, int *startOffset, int *endOffset) const
{
    *startOffset = offset;
    *endOffset = offset;
    return {};
}
