#pragma once

/// Clears the recent-file lists of the two media players that run under Wine here.
class TMediaPlayerHistory {
public:
    /// Whether the player's process is running (its window could be open).
    bool RealPlayerRunning() const;
    bool MediaPlayerRunning() const;
    /// Deletes the recent-clip keys 1..8, stopping at the first that cannot be deleted;
    /// returns the number deleted.
    int ClearRealPlayer() const;
    /// Deletes the values File0..File8 of the recent-file key, stopping at the first that
    /// cannot be deleted; 0 when the key does not exist.
    int ClearMediaPlayer() const;
};

/// True when a process whose program file is name (case-insensitive, Windows or POSIX path)
/// is running.
bool ProcessRunning(const char* name);
