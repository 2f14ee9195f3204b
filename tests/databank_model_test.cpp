// Models read from the data file: what a ship model may hold, and everything by which a scene
// could reach a file, a URL, a library or unbounded memory, refused before Coin acts on it.
#include "databank/ImageShape.h"
#include "databank/ModelCheck.h"
#include "databank/ModelReader.h"
#include "tests/support/TestDataFile.h"

#include <Inventor/SoDB.h>
#include <Inventor/SoInteraction.h>
#include <Inventor/SoType.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/fields/SoField.h>
#include <Inventor/lists/SoFieldList.h>
#include <Inventor/nodes/SoNode.h>
#include <Inventor/nodes/SoTexture2.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {
struct TOutcome
{
    TModelReader::TResult Result;
    std::string strWhy;
};

TOutcome ReadModel(const std::string& strText)
{
    SoNode* pScene = nullptr;
    TOutcome Outcome;
    Outcome.Result = TModelReader::Read(reinterpret_cast<const uint8_t*>(strText.data()), strText.size(), pScene,
                                        Outcome.strWhy);
    EXPECT_EQ(pScene != nullptr, Outcome.Result == TModelReader::READ);
    if (pScene) {
        // As the game uses it: its box, for the ship's collisions.
        SoGetBoundingBoxAction Box(SbViewportRegion(640, 480));
        Box.apply(pScene);
        pScene->unref();
    }
    return Outcome;
}

const char* ResultName(TModelReader::TResult Result)
{
    switch (Result) {
    case TModelReader::READ: return "READ";
    case TModelReader::UNREADABLE: return "UNREADABLE";
    case TModelReader::REFUSED: return "REFUSED";
    }
    return "?";
}

// nDepth nodes, each inside the last, strInner in the innermost.
std::string Nested(const std::string& strNode, int nDepth, const std::string& strInner = "")
{
    std::string strText;
    for (int i = 0; i < nDepth; ++i)
        strText += strNode + " { ";
    return strText + strInner + " " + std::string(static_cast<size_t>(nDepth), '}');
}

// A scene that reaches n^levels instances from a few nodes, each level using the last twice.
std::string Doubling(int nLevels)
{
    std::string strText = "Separator { DEF L0 Group { Cube { } }\n";
    for (int i = 1; i <= nLevels; ++i)
        strText += "DEF L" + std::to_string(i) + " Group { USE L" + std::to_string(i - 1) + " USE L" +
                   std::to_string(i - 1) + " }\n";
    return strText + "}\n";
}

std::string Image(int nWidth, int nHeight)
{
    std::string strText = "Texture2 { image " + std::to_string(nWidth) + " " + std::to_string(nHeight) + " 1";
    for (int i = 0; i < nWidth * nHeight; ++i)
        strText += " 0x7f";
    return strText + " }";
}

class ModelTest : public ::testing::Test
{
protected:
    // The game's window starts Coin with its draggers and node kits.
    void SetUp() override { SoInteraction::init(); }
};
}  // namespace

TEST_F(ModelTest, TheGamesShipModelReads)
{
    std::ifstream File(DRELK_SHIP_MODEL);
    std::stringstream Text;
    Text << File.rdbuf();
    ASSERT_FALSE(Text.str().empty());
    const TOutcome Outcome = ReadModel(Text.str());
    EXPECT_EQ(Outcome.Result, TModelReader::READ) << Outcome.strWhy;
}

// Every way found in Coin's readers to reach a file, a URL, a library or memory that a number
// claims; each is refused, with the reason naming what was refused.
TEST_F(ModelTest, WhatReachesOutsideTheModelIsRefused)
{
    const std::string IV = "#Inventor V2.1 ascii\n";
    const std::string VRML1 = "#VRML V1.0 ascii\n";
    const std::string VRML2 = "#VRML V2.0 utf8\n";
    const struct
    {
        const char* szWhat;
        std::string strText;
        const char* szWhy;
    } CASES[] = {
        {"an Inventor file", IV + "Separator { File { name \"other.iv\" } }", "File node"},
        {"a texture file", IV + "Separator { Texture2 { filename \"/dev/zero\" } Cube { } }", "names \"/dev/zero\""},
        {"a texture file, unquoted", IV + "Texture2 { filename secret.txt }", "names \"secret.txt\""},
        {"an empty texture file name", IV + "Texture2 { filename \"\" }", "names \"\""},
        {"a picture node", IV + "Image { filename \"picture.png\" }", "Image node"},
        {"a 3D texture", IV + "Texture3 { filenames [ \"a.png\" ] }", "Texture3 node"},
        {"a cube map", IV + "TextureCubeMap { filenames [ \"a.png\" ] }", "TextureCubeMap node"},
        {"a bump map", IV + "BumpMap { filename \"a.png\" }", "BumpMap node"},
        {"a shader source", IV + "ShaderProgram { shaderObject [ VertexShader { sourceProgram \"a.glsl\" } ] }",
         "ShaderProgram node"},
        {"a font", IV + "Separator { Font { name \"/etc/fonts/x.ttf\" } Text3 { string \"x\" } }", "Font node"},
        {"a web inline", VRML1 + "Separator { WWWInline { name \"http://example.com/a.wrl\" } }", "WWWInline node"},
        {"a VRML inline", VRML2 + "Inline { url \"other.wrl\" }", "VRML97 Inline node"},
        {"an image texture", IV + "Separator { VRMLImageTexture { url \"a.png\" } }", "VRMLImageTexture node"},
        {"a movie", IV + "Separator { VRMLMovieTexture { url \"a.mpg\" } }", "VRMLMovieTexture node"},
        {"a sound", IV + "Separator { VRMLSound { source VRMLAudioClip { url \"a.wav\" } } }", "VRMLSound node"},
        {"a script", VRML2 + "Script { url \"javascript: x\" }", "VRML97 Script node"},
        {"a background", IV + "VRMLBackground { frontUrl \"a.png\" }", "VRMLBackground node"},
        {"an anchor", VRML2 + "Anchor { url \"http://example.com\" }", "VRML97 Anchor node"},
        {"an external prototype", VRML2 + "EXTERNPROTO P [ ] \"other.wrl#P\"\nP { }", "uses EXTERNPROTO"},
        {"a prototype", VRML2 + "PROTO P [ field SFImage i 0 0 0 ] { Group { } }\nP { }", "uses PROTO"},
        {"a route", IV + "Separator { DEF A Translation { } DEF B Translation { } ROUTE A.translation TO B.translation }",
         "uses ROUTE"},
        {"a field connection", IV + "Separator { DEF T Translation { } Texture2 { filename = USE T.translation } }",
         "connects fields"},
        {"fields of its own", IV + "Zork { fields [ SFImage3 a ] a 8192 8192 8192 4 }", "declares fields"},
        {"a global field", IV + "GlobalField { type SFString name \"x\" }", "GlobalField node"},
        {"an engine", IV + "Separator { Translation { translation 0 0 0 } ElapsedTime { } }", "ElapsedTime node"},
        {"a dragger", IV + "Separator { Translate1Dragger { } }", "Translate1Dragger node"},
        {"a camera", IV + "Separator { PerspectiveCamera { } Cube { } }", "PerspectiveCamera node"},
        {"a huge image", IV + "Texture2 { image 30000 30000 4 0 }", "image 30000 pixels on a side (at most 8192)"},
        {"a tall image", IV + "Texture2 { image 1 8193 1 0 }", "image 8193 pixels"},
        {"a VRML97 scene", VRML2 + "Transform { children [ Shape { geometry Box { } } ] }", "VRML97 Transform node"},
        {"a node inside itself", IV + "DEF A Separator { Cube { } USE A }", "inside itself"},
        {"deep nesting", IV + Nested("Group", TModelCheck::MAX_DEPTH + 1), "nests deeper than 256"},
        {"deep nesting through uses",
         IV + "Separator { DEF D " + Nested("Group", 200, "Cube { }") + "\n" + Nested("Group", 100, "USE D") + " }",
         "nests deeper than 256"},
        {"a few nodes drawn a million times", IV + Doubling(20), "draws more than 65536 nodes"},
        {"many nodes", IV + "Separator { " + [] {
             std::string strCubes;
             for (int i = 0; i <= TModelCheck::MAX_INSTANCES; ++i)
                 strCubes += "Cube { } ";
             return strCubes;
         }() + "}",
         "holds more than 65536 nodes"},
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.szWhat);
        const TOutcome Outcome = ReadModel(Case.strText);
        EXPECT_EQ(Outcome.Result, TModelReader::REFUSED) << ResultName(Outcome.Result) << ": " << Outcome.strWhy;
        EXPECT_NE(Outcome.strWhy.find(Case.szWhy), std::string::npos) << Outcome.strWhy;
    }
}

TEST_F(ModelTest, LimitsAndTextThatIsNotAScene)
{
    const std::string IV = "#Inventor V2.1 ascii\n";
    const struct
    {
        const char* szWhat;
        std::string strText;
        TModelReader::TResult Result;
    } CASES[] = {
        {"an image of the largest side", IV + Image(MAX_TEXTURE_SIDE, 1), TModelReader::READ},
        {"a small image", IV + Image(3, 2), TModelReader::READ},
        {"nesting up to the limit", IV + Nested("Separator", TModelCheck::MAX_DEPTH), TModelReader::READ},
        {"shared nodes within the limit", IV + Doubling(13), TModelReader::READ},
        {"a VRML 1.0 scene", "#VRML V1.0 ascii\nSeparator { Cube { } }", TModelReader::READ},
        {"no header", "Separator { Cube { } }", TModelReader::UNREADABLE},
        {"a binary scene", "#Inventor V2.1 binary\n", TModelReader::UNREADABLE},
        {"a compressed scene", std::string("\x1f\x8b\x08\x00", 4), TModelReader::UNREADABLE},
        {"an unknown node", IV + "Separator { Zork { } }", TModelReader::UNREADABLE},
        {"a syntax error", IV + "Separator { Cube { width } ", TModelReader::UNREADABLE},
        {"a header alone", IV, TModelReader::UNREADABLE},
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.szWhat);
        const TOutcome Outcome = ReadModel(Case.strText);
        EXPECT_EQ(Outcome.Result, Case.Result) << ResultName(Outcome.Result) << ": " << Outcome.strWhy;
        EXPECT_EQ(Outcome.strWhy.empty(), Case.Result == TModelReader::READ) << Outcome.strWhy;
    }
}

// Coin draws a shape by indexing the coordinates, normals, texture coordinates and colours in
// force where it stands, without checking in its release builds: every index and count of a
// model's shapes must stay inside them.
TEST_F(ModelTest, ShapesStayInsideTheirArrays)
{
    const std::string IV = "#Inventor V2.1 ascii\n";
    const std::string SQUARE = "Coordinate3 { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0 ] }\n";
    const struct
    {
        const char* szWhat;
        std::string strScene;
        const char* szWhy;  // empty: the scene reads
    } CASES[] = {
        {"two faces", SQUARE + "IndexedFaceSet { coordIndex [ 0, 1, 2, -1, 0, 2, 3, -1 ] }", ""},
        {"a coordinate index past the end", SQUARE + "IndexedFaceSet { coordIndex [ 0, 1, 4, -1 ] }",
         "IndexedFaceSet node uses coordinate 4 of 4"},
        {"no coordinates of its own", "IndexedFaceSet { coordIndex [ 0, 1, 2, -1 ] }", "uses coordinate 2 of 1"},
        {"a colour per face, indexed",
         SQUARE + "Material { diffuseColor [ 1 0 0, 0 1 0 ] } MaterialBinding { value PER_FACE_INDEXED }\n"
                  "IndexedFaceSet { coordIndex [ 0, 1, 2, -1, 0, 2, 3, -1 ] materialIndex [ 1, 0 ] }",
         ""},
        {"a colour index past the colours",
         SQUARE + "Material { diffuseColor [ 1 0 0, 0 1 0 ] } MaterialBinding { value PER_FACE_INDEXED }\n"
                  "IndexedFaceSet { coordIndex [ 0, 1, 2, -1, 0, 2, 3, -1 ] materialIndex [ 1, 2 ] }",
         "uses colours beyond the 2 given"},
        {"fewer colour indices than faces",
         SQUARE + "Material { diffuseColor [ 1 0 0, 0 1 0 ] } MaterialBinding { value PER_FACE_INDEXED }\n"
                  "IndexedFaceSet { coordIndex [ 0, 1, 2, -1, 0, 2, 3, -1 ] materialIndex [ 1 ] }",
         "uses colours beyond"},
        {"a colour per vertex, fewer colours",
         SQUARE + "BaseColor { rgb [ 1 0 0, 0 1 0 ] } MaterialBinding { value PER_VERTEX }\n"
                  "IndexedFaceSet { coordIndex [ 0, 1, 2, -1 ] }",
         "uses colours beyond the 2 given"},
        {"normals by the coordinate indices", SQUARE + "Normal { vector [ 0 0 1, 0 0 1, 0 0 1, 0 0 1 ] }\n"
                                                       "IndexedFaceSet { coordIndex [ 0, 1, 2, 3, -1 ] }",
         ""},
        {"too few normals for the coordinate indices",
         SQUARE + "Normal { vector [ 0 0 1 ] }\nIndexedFaceSet { coordIndex [ 0, 1, 2, 3, -1 ] }",
         "uses normals beyond the 1 given"},
        {"a normal index list shorter than the coordinates'",
         SQUARE + "Normal { vector [ 0 0 1 ] }\nIndexedFaceSet { coordIndex [ 0, 1, 2, -1 ] normalIndex [ 0, 0 ] }",
         "uses normals beyond"},
        {"texture coordinates past the end",
         SQUARE + "TextureCoordinate2 { point [ 0 0, 1 0 ] }\n"
                  "IndexedFaceSet { coordIndex [ 0, 1, 2, -1 ] textureCoordIndex [ 0, 1, 5, -1 ] }",
         "uses texture coordinates beyond the 2 given"},
        {"a face set within its coordinates", SQUARE + "FaceSet { startIndex 1 numVertices [ 3 ] }", ""},
        {"a face set past its coordinates", SQUARE + "FaceSet { startIndex 2 numVertices [ 3 ] }",
         "FaceSet node uses coordinates up to 5 of 4"},
        {"a negative vertex count", SQUARE + "FaceSet { numVertices [ 3, -4 ] }", "negative vertex count"},
        {"a negative start", SQUARE + "LineSet { startIndex -1 }", "starts at coordinate -1"},
        {"a strip with a colour per triangle",
         SQUARE + "BaseColor { rgb [ 1 0 0 ] } MaterialBinding { value PER_FACE }\n"
                  "TriangleStripSet { numVertices [ 4 ] }",
         "uses colours beyond the 1 given"},
        {"a mesh larger than its coordinates", SQUARE + "QuadMesh { verticesPerColumn 3 verticesPerRow 2 }",
         "uses coordinates up to 6 of 4"},
        {"points past the end", SQUARE + "PointSet { startIndex 3 numPoints 2 }", "uses coordinates up to 5 of 4"},
        {"a cube with a colour per face, two colours",
         "BaseColor { rgb [ 1 0 0, 0 1 0 ] } MaterialBinding { value PER_FACE } Cube { }", "has more faces than"},
        {"vertex properties of a shape's own", SQUARE + "IndexedFaceSet { vertexProperty Group { } }",
         "has vertex properties of its own"},
        {"a switch that inherits with nothing to choose", "Switch { whichChild 0 Switch { whichChild -2 } }",
         "Switch node inherits its choice and has no children"},
        {"an indexed face set on a switch's hidden side",
         "Switch { whichChild 0 Separator { " + SQUARE + "IndexedFaceSet { coordIndex [ 0, 1, 2, -1 ] } } }", ""},
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.szWhat);
        const TOutcome Outcome = ReadModel(IV + "Separator {\n" + Case.strScene + "\n}\n");
        if (*Case.szWhy == '\0') {
            EXPECT_EQ(Outcome.Result, TModelReader::READ) << Outcome.strWhy;
            continue;
        }
        EXPECT_EQ(Outcome.Result, TModelReader::REFUSED) << ResultName(Outcome.Result) << ": " << Outcome.strWhy;
        EXPECT_NE(Outcome.strWhy.find(Case.szWhy), std::string::npos) << Outcome.strWhy;
    }
}

// Each allowed type reads, and the reader's checks rest on what the allowed types hold: no text
// field but Texture2's file name, and no 16-bit numbers but an image's size.
TEST_F(ModelTest, AllowedTypesReadAndHoldNoTextOrShortsButTheirImages)
{
    for (const SoType& Type : TModelReader::GetAllowedTypes()) {
        const std::string strName = Type.getName().getString();
        SCOPED_TRACE(strName);
        const TOutcome Outcome = ReadModel("#Inventor V2.1 ascii\n" + strName + " { }\n");
        EXPECT_EQ(Outcome.Result, TModelReader::READ) << Outcome.strWhy;

        auto* pNode = static_cast<SoNode*>(Type.createInstance());
        ASSERT_TRUE(pNode);
        pNode->ref();
        SoFieldList Fields;
        for (int i = 0, n = pNode->getFields(Fields); i < n; ++i) {
            SbName FieldName;
            pNode->getFieldName(Fields[i], FieldName);
            const std::string strType = Fields[i]->getTypeId().getName().getString();
            SCOPED_TRACE(FieldName.getString());
            if (strType == "SFString" || strType == "MFString") {
                EXPECT_TRUE(Type == SoTexture2::getClassTypeId() && FieldName == "filename");
            }
            for (const char* szShort : {"SFShort", "MFShort", "SFVec2s", "MFVec2s", "SFVec3s", "MFVec3s", "SFBox2s",
                                        "SFBox3s", "SFImage3"})
                EXPECT_NE(strType, szShort);
        }
        pNode->unref();
    }
}

// The types refused while a model is read are made as usual again afterwards: the game's own
// nodes are not models.
TEST_F(ModelTest, TypesAreRestoredAfterARefusal)
{
    const TOutcome Outcome = ReadModel("#Inventor V2.1 ascii\nSeparator { File { } Texture2 { } }");
    ASSERT_EQ(Outcome.Result, TModelReader::REFUSED);
    for (const char* szType : {"File", "Texture2", "Text3", "SFFloat", "ElapsedTime"}) {
        SCOPED_TRACE(szType);
        void* pInstance = SoType::fromName(szType).createInstance();
        ASSERT_TRUE(pInstance);
        if (SoType::fromName(szType).isDerivedFrom(SoField::getClassTypeId()))
            delete static_cast<SoField*>(pInstance);
        else {
            static_cast<SoBase*>(pInstance)->ref();
            static_cast<SoBase*>(pInstance)->unref();
        }
    }
}

// Nothing of a refused model is opened: a FIFO named by the model would hold the read forever.
TEST_F(ModelTest, AFifoNamedByTheModelIsNeverOpened)
{
    alarm(60);  // an open that blocks fails the test rather than holding it
    const std::string strFifo = MakeTempDir() + "/fifo";
    ASSERT_EQ(mkfifo(strFifo.c_str(), 0600), 0);
    for (const std::string& strText :
         {"#Inventor V2.1 ascii\nTexture2 { filename \"" + strFifo + "\" }",
          "#Inventor V2.1 ascii\nFile { name \"" + strFifo + "\" }",
          "#VRML V2.0 utf8\nInline { url \"" + strFifo + "\" }"}) {
        const TOutcome Outcome = ReadModel(strText);
        EXPECT_EQ(Outcome.Result, TModelReader::REFUSED) << Outcome.strWhy;
    }
    alarm(0);
}
