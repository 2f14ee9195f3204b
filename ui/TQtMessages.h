#pragma once
// Qt's note that a session has no runtime folder is noise to a player; anything else it says shows.

class TQtMessages
{
public:
    static void Filter();
};
