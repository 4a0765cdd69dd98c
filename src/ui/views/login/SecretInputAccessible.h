#pragma once

#include <QAccessibleObject>
#include <QAccessibleTextInterface>
#include <QPointer>
#include <QQuickItem>

// What assistive technology sees of a Qt Quick TextInput that declares the
// property `accessibleLabel` (the fields of the sign-in form): an editable
// text named by that label whose value and text are what the input displays,
// so a password echoed as dots is read as dots. Qt Quick's own interface
// hands any AT-SPI client the real text of a password input, as its value
// and through its text interface.
class SecretInputAccessible : public QAccessibleObject, public QAccessibleTextInterface {
public:
    explicit SecretInputAccessible(QQuickItem *input);

    // Installs the factory (once per process); must run before assistive
    // technology first asks about a secret input, as interfaces are cached.
    static void install();
    // This interface for a TextInput that declares `accessibleLabel`.
    static QAccessibleInterface *factory(const QString &className, QObject *object);

    QWindow *window() const override;
    QAccessibleInterface *parent() const override;
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text kind) const override;
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::EditableText; }
    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

private:
    QQuickItem *input() const;
    // The echo mode hides what is typed.
    bool hides() const;
    // The text as displayed: the echo characters while it hides.
    QString shown() const;
};
