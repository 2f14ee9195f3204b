#pragma once
// Which replays the windows can play: a kept file read whole and held against this game's rules
// and data file, and the demo the start-up window plays when left alone (the best listed game
// that this game plays as it was played, else the demo shipped beside the data file).

#include "core/Replay.h"

#include <QString>

#include <memory>

class TGameDriver;

class TReplayPicker
{
public:
    // The demo's file name, beside the data file.
    static const char* const DEMO_FILE;

    // The replay in strPath when this game can play it; null with a short reason for the player
    // ("recorded with other rules") and the whole one (strDetail) when it cannot.
    static std::shared_ptr<const TReplay> Load(const QString& strPath, const TGameDriver& Driver, QString& strWhy,
                                               QString* pDetail = nullptr);
    // The demo, and its file in strPath; null when there is none to play.
    static std::shared_ptr<const TReplay> Demo(const TGameDriver& Driver, QString& strPath);
    // Where the shipped demo lies for the data file the driver opened.
    static QString ShippedDemo(const TGameDriver& Driver);
};
