#pragma once
// Reads a model's scene text from the data file with the scene library, so that the model can
// reach nothing outside it. Coin's reader can open other files and URLs from a scene (File
// nodes, texture and shader file names, VRML inlines and URLs, external prototypes, extension
// node libraries), allocate what a number claims (an image's size) and nest without end. A
// model may hold only plain Inventor geometry, appearance, transforms and groups (which VRML
// 1.0 text names too), and the reader refuses anything else before Coin acts on it:
// - ASCII Inventor or VRML text only (a binary or compressed scene does not read);
// - only the node types of the allow list below; no field declarations of its own;
// - no text values at all: among the allowed types the only text field is Texture2's file
//   name; no field connections, PROTO, EXTERNPROTO or ROUTE;
// - images inside the model at most MAX_TEXTURE_SIDE on a side, refused before allocation;
// - at most TModelCheck::MAX_DEPTH deep and TModelCheck::MAX_INSTANCES nodes while it is read.
// The scene read then passes TModelCheck. Texture2 nodes named after the data file's raw
// images still get their pixels afterwards.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class SoNode;
class SoType;

class TModelReader
{
public:
    enum TResult {
        READ,        // the scene, with one reference held for the caller
        UNREADABLE,  // not a scene Coin can read (a syntax error, an unknown node type)
        REFUSED,     // a scene that reaches outside the model or beyond its limits, or fails TModelCheck
    };

    // Reads the scene of the text. strWhy says what was refused or why it did not read (Coin's
    // first read error); it is empty after READ.
    static TResult Read(const uint8_t* pText, size_t nSize, SoNode*& pScene, std::string& strWhy);

    // The node types a model may hold.
    static std::vector<SoType> GetAllowedTypes();
};
