#pragma once

#include <QAbstractListModel>
#include <QPointer>
#include <QQmlEngine>

class AppModel;

// The menu of a picker row: the model's projects, or the tasks of the chosen
// project, each with its name and whether it is the current choice.
class ProjectListModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Given by TimerViewModel")
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum class Kind { Projects, Tasks };
    enum Role { IdRole = Qt::UserRole + 1, NameRole, CheckedRole };

    ProjectListModel(AppModel *model, Kind kind, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int count() const { return rowCount(); }
    // Makes the item of `row` the model's choice; rows out of range do nothing.
    void choose(int row);

Q_SIGNALS:
    void countChanged();

private:
    struct Item {
        QString id;
        QString name;
        bool checked = false;
        bool operator==(const Item &) const = default;
    };
    QList<Item> read() const;
    void reload();

    QPointer<AppModel> m_model;
    Kind m_kind;
    QList<Item> m_items;
};
