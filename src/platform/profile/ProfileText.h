#pragma once

#include <cstdint>

#include <QByteArray>
#include <QList>
#include <QString>

/// Splits the bytes of a profile file into lines held as UTF-8. A UTF-8 BOM is skipped and a
/// UTF-16LE file (with its BOM) is read too; a line that is not valid UTF-8 is read as
/// Windows-1252, so Western files written on Windows load. CR LF, LF and a bare CR end lines.
/// NUL and other control characters but tab are dropped so damaged files stay readable.
QList<QByteArray> SplitProfileLines(const QByteArray& fileBytes);

bool IsValidUtf8(const QByteArray& bytes);
QString FromWindows1252(const QByteArray& bytes);

/// Integer rule of the settings files: decimal with an optional sign, or "0x" and up to eight
/// hexadecimal digits (read as a 32-bit pattern); anything else, or a decimal value outside
/// 32 bits, yields def.
int32_t ParseProfileInteger(const QString& text, int32_t def);
