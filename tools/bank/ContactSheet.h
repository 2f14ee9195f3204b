#pragma once
// The contact sheet: every texture and picture of a data file on one PNG, each tile labelled
// with its list, item and name, so the art can be reviewed without running the game.
//
// Links drelk_databank and Qt5::Gui.

#include <string>

// Reads the data file and writes the sheet. Texture items whose size the game knows are drawn
// from their raw pixels (bottom row first), other picture items are decoded as picture files,
// raw images use their own size; alpha shows over a checkerboard, big pictures are scaled down.
// An item that cannot be shown (wrong byte count, undecodable) gets a red tile naming the
// fault. False, with the reason in *pError, when the file cannot be read, a list in it is
// malformed, or the PNG cannot be written.
bool DrawContactSheet(const std::string& strDataFile, const std::string& strPngOut, std::string* pError);
