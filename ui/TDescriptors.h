#pragma once
// The file descriptors drelk2 starts with: standard streams that are not open, and a soft
// limit too low to play with.

class TDescriptors
{
public:
    // A standard stream that is not open would be taken by the next file the program opens (the
    // data file, the X connection), and warnings meant for standard error would go there: each
    // is opened on /dev/null.
    static void KeepStandardStreamsOpen();
    // The game needs some twenty descriptors (the X connection, GL, sound, the threads'
    // wake-ups) and a few more to keep the player's files. Qt draws plain windows through shared
    // memory that the X server hands over as a descriptor; with none left to receive it, the X
    // library waits for the reply for ever (the black ending screen of `ulimit -n 16`). So a low
    // soft limit is raised toward the hard one, and while it stays under FEW Qt draws without
    // shared memory.
    static constexpr unsigned long FEW = 64;
    static void SpareSome();
};
