#include "ProjectListModel.h"

#include "AppModel.h"

ProjectListModel::ProjectListModel(AppModel *model, Kind kind, QObject *parent)
    : QAbstractListModel(parent)
    , m_model(model)
    , m_kind(kind)
{
    m_items = read();
    if (!model)
        return;
    connect(model, &AppModel::projectsChanged, this, &ProjectListModel::reload);
    connect(model, &AppModel::choiceChanged, this, &ProjectListModel::reload);
}

QList<ProjectListModel::Item> ProjectListModel::read() const
{
    QList<Item> items;
    if (!m_model)
        return items;
    if (m_kind == Kind::Projects) {
        const Project *chosen = m_model->project();
        for (const Project &p : m_model->projects())
            items.append({p.id, p.name, chosen && chosen->id == p.id});
    } else if (const Project *project = m_model->project()) {
        const WorkTask *chosen = m_model->task();
        for (const WorkTask &t : project->tasks)
            items.append({t.id, t.name, chosen && chosen->id == t.id});
    }
    return items;
}

void ProjectListModel::reload()
{
    QList<Item> items = read();
    if (items == m_items)
        return;
    // Same rows, other check mark: tell the views which rows changed only.
    const bool sameRows = items.size() == m_items.size()
        && std::equal(items.begin(), items.end(), m_items.begin(),
                      [](const Item &a, const Item &b) { return a.id == b.id && a.name == b.name; });
    if (sameRows) {
        m_items = std::move(items);
        Q_EMIT dataChanged(index(0), index(int(m_items.size()) - 1), {CheckedRole});
        return;
    }
    const bool countChanges = items.size() != m_items.size();
    beginResetModel();
    m_items = std::move(items);
    endResetModel();
    if (countChanges)
        Q_EMIT countChanged();
}

int ProjectListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant ProjectListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return {};
    const Item &item = m_items.at(index.row());
    switch (role) {
    case IdRole:
        return item.id;
    case Qt::DisplayRole:
    case NameRole:
        return item.name;
    case CheckedRole:
        return item.checked;
    default:
        return {};
    }
}

QHash<int, QByteArray> ProjectListModel::roleNames() const
{
    return {{IdRole, "itemId"}, {NameRole, "name"}, {CheckedRole, "current"}};
}

void ProjectListModel::choose(int row)
{
    if (!m_model || row < 0 || row >= m_items.size())
        return;
    const QString id = m_items.at(row).id;
    if (m_kind == Kind::Projects) {
        m_model->chooseProject(id);
    } else {
        m_model->setTaskID(id);
        m_model->syncLabels(true);
    }
}
