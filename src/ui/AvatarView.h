#pragma once

#include <QColor>
#include <QQuickPaintedItem>

// A generated portrait for a name: a head-and-shoulders figure on a coloured
// tile, both colours picked from the name so it looks the same everywhere.
class AvatarView : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(qreal size READ size WRITE setSize NOTIFY sizeChanged)
    Q_PROPERTY(int row READ row NOTIFY nameChanged)

public:
    // Longer names are not hashed: they get the default row.
    static constexpr qsizetype maxNameLength = 1024;
    static constexpr int defaultRow = 7;

    explicit AvatarView(QQuickItem *parent = nullptr);
    void paint(QPainter *painter) override;

    // 7, then seed * 31 + each Unicode scalar of the lower-cased name, in
    // wrapping 32-bit arithmetic.
    static quint32 seed(const QString &name);
    // seed % 8, or the default row (and a warning) for an empty or overlong name.
    static int rowFor(const QString &name);
    static QColor background(int row);
    static QColor figure(int row);
    // Draws the avatar of `row` into `target`.
    static void draw(QPainter *painter, int row, const QRectF &target);

    QString name() const { return m_name; }
    void setName(const QString &name);
    qreal size() const { return m_size; }
    void setSize(qreal size);
    int row() const { return m_row; }

Q_SIGNALS:
    void nameChanged();
    void sizeChanged();

private:
    QString m_name;
    qreal m_size = 32;
    int m_row = defaultRow;
    bool m_named = false;
};
