#pragma once

#include <chrono>
#include <cstdint>

#include <QString>

/// Decimal text of n with a "0" in front when n is 9 or less ("05", "10", "123").
QString TwoDigits(int64_t n);

/// TwoDigits(s div 60) + ":" + TwoDigits(s mod 60); minutes are not reduced to hours.
QString Mmss(int64_t seconds);

/// Nearest integer, halves to even (banker's rounding), as every rounding in the program does.
int64_t RoundHalfEven(double value);

/// Whole seconds between start and now on the monotonic clock, halves to even.
int64_t ElapsedSeconds(std::chrono::steady_clock::time_point start);

/// Removes leading and trailing blanks and control characters (code points up to U+0020).
QString TrimControl(const QString& text);

/// Reads text as a decimal integer (leading and trailing blanks allowed, optional sign).
/// Returns false when it is not one or does not fit in 32 bits.
bool ParseDecimal(const QString& text, int32_t& value);
