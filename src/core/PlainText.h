#pragma once

class QLabel;
class QMessageBox;

// Titles, disc and file names and a server's words are shown as they stand. Qt guesses
// whether a label's or a message box's text is markup, and a guessed "<h1>" draws a heading,
// "<img src=file:...>" loads a local file and "&amp;" turns into "&". Every label and message
// box that can hold text from outside the program is made plain here, once, when it is built;
// its later setText calls stay plain.

/// Makes the label show its text as plain text from now on; returns it.
QLabel* MakePlainText(QLabel* label);
/// Makes the message box show its text as plain text.
void MakePlainText(QMessageBox& box);
