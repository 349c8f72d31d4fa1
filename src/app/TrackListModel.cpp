#include "app/TrackListModel.h"

#include <algorithm>

int TTrackListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Count();
}

int TTrackListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TTrackListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= Count())
        return {};
    const TrackRow& r = Row(index.row());
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case ColNumber:
            return QString::number(r.Number);
        case ColTitle:
            return r.Title;
        case ColLength:
            return r.LengthText;
        case ColSize:
            return r.SizeText;
        default:
            return {};
        }
    }
    if (role == Qt::CheckStateRole && index.column() == ColNumber)
        return r.Ticked ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::TextAlignmentRole && (index.column() == ColLength || index.column() == ColSize))
        return QVariant::fromValue(Qt::AlignCenter);
    return {};
}

bool TTrackListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != ColNumber || role != Qt::CheckStateRole)
        return false;
    SetTicked(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

QVariant TTrackListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole) {
        switch (section) {
        case ColNumber:
            return QStringLiteral("No.");
        case ColTitle:
            return QStringLiteral("Title");
        case ColLength:
            return QStringLiteral("Length(min)");
        case ColSize:
            return QStringLiteral("Size(MB)");
        default:
            return {};
        }
    }
    if (role == Qt::TextAlignmentRole && (section == ColLength || section == ColSize))
        return QVariant::fromValue(Qt::AlignCenter);
    return {};
}

Qt::ItemFlags TTrackListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == ColNumber)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

void TTrackListModel::Clear()
{
    if (rows_.empty())
        return;
    beginResetModel();
    rows_.clear();
    endResetModel();
    Q_EMIT TicksChanged();
}

void TTrackListModel::Append(const TrackRow& row)
{
    beginInsertRows(QModelIndex(), Count(), Count());
    rows_.push_back(row);
    endInsertRows();
    Q_EMIT TicksChanged();
}

void TTrackListModel::SetTitle(int i, const QString& title)
{
    if (i < 0 || i >= Count())
        return;
    rows_[static_cast<size_t>(i)].Title = title;
    const QModelIndex idx = index(i, ColTitle);
    Q_EMIT dataChanged(idx, idx, {Qt::DisplayRole});
}

void TTrackListModel::SetTicked(int i, bool ticked)
{
    if (i < 0 || i >= Count() || rows_[static_cast<size_t>(i)].Ticked == ticked)
        return;
    rows_[static_cast<size_t>(i)].Ticked = ticked;
    const QModelIndex idx = index(i, ColNumber);
    Q_EMIT dataChanged(idx, idx, {Qt::CheckStateRole});
    Q_EMIT TicksChanged();
}

void TTrackListModel::SetAllTicked(bool ticked)
{
    for (TrackRow& r : rows_)
        r.Ticked = ticked;
    if (!rows_.empty())
        Q_EMIT dataChanged(index(0, ColNumber), index(Count() - 1, ColNumber),
                           {Qt::CheckStateRole});
    Q_EMIT TicksChanged();
}

bool TTrackListModel::AnyTicked() const
{
    return std::any_of(rows_.begin(), rows_.end(), [](const TrackRow& r) { return r.Ticked; });
}
