#include "options/LimitedLineEdit.h"

#include <algorithm>

TLimitedLineEdit::TLimitedLineEdit(int limit, QWidget* parent) : QLineEdit(parent), limit_(limit)
{
    setMaxLength(limit_);
    // Shortening a long text lowers the bound with it, down to the limit.
    connect(this, &QLineEdit::textChanged, this, &TLimitedLineEdit::Relimit);
}

void TLimitedLineEdit::SetFullText(const QString& text)
{
    setMaxLength(std::max<int>(limit_, int(text.size())));
    setText(text);
}

void TLimitedLineEdit::Relimit(const QString& text)
{
    setMaxLength(std::max<int>(limit_, int(text.size())));
}
