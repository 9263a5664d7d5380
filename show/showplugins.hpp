#pragma once
// The show's own machines, plugged into the scene machine's table (sShowPlugins): the
// SYNC machine with its view of the scene table. The application installs them once,
// before it builds the scene machine. Main thread only.

// Fills the SYNC machine's entries of sShowPlugins.
void InstallShowPlugins();
