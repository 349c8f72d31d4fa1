#pragma once

#include <QLineEdit>

/// A line edit whose length limit holds for typing only, as the design's edits had it: text
/// put in by the program stays whole (a disc's artist from CDDB may be longer than a tag
/// field), and the user cannot make it longer than the limit or than it already is.
class TLimitedLineEdit : public QLineEdit {
    Q_OBJECT
public:
    TLimitedLineEdit(int limit, QWidget* parent = nullptr);

    int Limit() const { return limit_; }
    /// Puts text in whole, however long.
    void SetFullText(const QString& text);

private:
    void Relimit(const QString& text);

    int limit_;
};
