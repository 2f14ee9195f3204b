#pragma once
// The data file's manifest: a JSON text naming each list (id, name, type) and each item (kind,
// id, name, source file; width, height and components for raw images; pos for cameras).
// Source files are found relative to the manifest's folder.

#include "databank/ChunkList.h"

#include <memory>
#include <string>
#include <vector>

class TManifest
{
public:
    // Reads the manifest and every file it names into lists; false with a one-line message.
    static bool Load(const std::string& strPath, std::vector<std::unique_ptr<TVEChunkList>>& vecLists,
                     std::string& strError);
    // The chunk kind for a manifest kind name ("wav", "bmp", "raw", ...), or 0.
    static int32_t KindFromName(const std::string& strKind);
};
