#pragma once
// Writes a data file: the header block with the signature and the list table, then the list
// images back to back. The file appears under its name only once it is complete, and only where
// no other kind of file (a FIFO, a device, a link) or a read-only file stands.

#include "databank/ChunkList.h"

#include <string>
#include <vector>

class TVESerializerWriter
{
public:
    // Label of each list in the table: its header name.
    static bool Write(const std::string& strPath, const std::vector<const TVEChunkList*>& vecLists,
                      std::string* pError = nullptr);
};
