#pragma once

#include <vector>

#include <QAbstractTableModel>
#include <QString>

/// One row of the track list: the disc's track, its title, length and size texts, tick.
struct TrackRow {
    int Number = 0;
    QString Title;
    QString LengthText;
    QString SizeText;
    bool Ticked = true;
};

/// The checkable track list: the working copy of the titles during a run. Columns "No.",
/// "Title", "Length(min)", "Size(MB)"; the tick sits in the first column.
class TTrackListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColNumber, ColTitle, ColLength, ColSize, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void Clear();
    void Append(const TrackRow& row);
    const TrackRow& Row(int i) const { return rows_[static_cast<size_t>(i)]; }
    int Count() const { return static_cast<int>(rows_.size()); }
    void SetTitle(int i, const QString& title);
    void SetTicked(int i, bool ticked);
    void SetAllTicked(bool ticked);
    bool AnyTicked() const;

Q_SIGNALS:
    /// A tick changed (by the user or by a command).
    void TicksChanged();

private:
    std::vector<TrackRow> rows_;
};
