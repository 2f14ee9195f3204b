#pragma once
// Files and devices that libraries open at start because the environment names them. A FIFO
// there would block that open for good, before any window or with the game's window frozen;
// whatever is not what it must be is left out for this run, with one line. A missing file is
// the library's to tell.

class TEnvironmentFiles
{
public:
    // Before any thread: the environment is changed here.
    static void DropUnusable();
};
