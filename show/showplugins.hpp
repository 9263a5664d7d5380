#pragma once
// The show's own machines, plugged into the scene machine's table (sShowPlugins): the
// SYNC machine with its view of the scene table, the DMX receiver and the music player.
// The application installs them once, before it opens the window (the movie player's
// subsystem starts with it). Main thread only.

// Fills the SYNC machine's, the DMX receiver's and the music player's entries of
// sShowPlugins and readies the movie player's subsystem.
void InstallShowPlugins();
