#pragma once
// A small but complete data file for tests: every list and item the game asks for, with the
// right kinds and sizes (plain colours, short tones, a textured cube for the ship).

#include "databank/ChunkList.h"

#include <memory>
#include <string>
#include <vector>

using TTestLists = std::vector<std::unique_ptr<TVEChunkList>>;

// The lists of the complete test file; tests may change them before writing.
TTestLists MakeTestLists();
// Writes the lists as a data file at strPath.
void WriteTestDataFile(const std::string& strPath, const TTestLists& vecLists);
// Overwrites an item's bytes with text that no decoder takes, keeping its size: a damaged sound
// or picture that the file's structure does not show.
void GarbleItem(TTestLists& vecLists, int32_t nPlaylist, int32_t nItem);
// MakeTestLists written to strDir/Drelk_II.bin; returns the path.
std::string MakeTestDataFile(const std::string& strDir);

// A 16-bit mono WAV file image of a sine tone.
std::vector<uint8_t> MakeToneWav(double dSeconds, double dHz, int nRate = 22050);
// A PNG file image of one colour.
std::vector<uint8_t> MakePng(int nWidth, int nHeight, unsigned nRgb);
// A fresh temporary directory, removed with everything in it when the test program ends.
std::string MakeTempDir();

// The cube scene of the test model; its Texture2 is named "VEIMAGE_000001".
extern const char TEST_MODEL_SCENE[];
