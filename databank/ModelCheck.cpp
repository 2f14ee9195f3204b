#include "databank/ModelCheck.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/elements/SoLazyElement.h>
#include <Inventor/elements/SoMaterialBindingElement.h>
#include <Inventor/elements/SoMultiTextureCoordinateElement.h>
#include <Inventor/elements/SoNormalBindingElement.h>
#include <Inventor/elements/SoNormalElement.h>
#include <Inventor/elements/SoTextureCoordinateBindingElement.h>
#include <Inventor/fields/SoMFNode.h>
#include <Inventor/fields/SoSFNode.h>
#include <Inventor/lists/SoFieldList.h>
#include <Inventor/misc/SoChildList.h>
#include <Inventor/misc/SoState.h>
#include <Inventor/nodes/SoCone.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoCylinder.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoIndexedLineSet.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoLineSet.h>
#include <Inventor/nodes/SoPointSet.h>
#include <Inventor/nodes/SoQuadMesh.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoTriangleStripSet.h>

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace {
// "a Switch node", "an IndexedFaceSet node named HULL"
std::string NodeName(const SoNode* pNode)
{
    const std::string strType = pNode->getTypeId().getName().getString();
    const bool bVowel = !strType.empty() && std::string("AEIOU").find(strType[0]) != std::string::npos;
    std::string strName = (bVowel ? "an " : "a ") + strType + " node";
    if (pNode->getName().getLength() > 0)
        strName += " named " + std::string(pNode->getName().getString());
    return strName;
}

// What each node leads to when drawn: its children and the nodes in its node fields.
std::vector<SoNode*> NodesUnder(SoNode* pNode)
{
    std::vector<SoNode*> vecNodes;
    if (const SoChildList* pChildren = pNode->getChildren())
        for (int i = 0; i < pChildren->getLength(); ++i)
            vecNodes.push_back((*pChildren)[i]);
    SoFieldList Fields;
    for (int i = 0, n = pNode->getFields(Fields); i < n; ++i) {
        if (Fields[i]->isOfType(SoSFNode::getClassTypeId())) {
            if (SoNode* pValue = static_cast<SoSFNode*>(Fields[i])->getValue())
                vecNodes.push_back(pValue);
        } else if (Fields[i]->isOfType(SoMFNode::getClassTypeId())) {
            const SoMFNode* pValues = static_cast<SoMFNode*>(Fields[i]);
            for (int j = 0; j < pValues->getNum(); ++j)
                if (SoNode* pValue = (*pValues)[j])
                    vecNodes.push_back(pValue);
        }
    }
    return vecNodes;
}

// Walks the scene once per node: how many nodes a drawing visits (capped), how deep it goes,
// and whether a node lies inside itself, which Coin reads from "DEF A Group { USE A }".
class TSceneWalk
{
public:
    std::string Check(SoNode* pScene)
    {
        const TSize Size = Walk(pScene);
        if (!m_strWhy.empty())
            return m_strWhy;
        if (Size.nInstances > TModelCheck::MAX_INSTANCES)
            return "draws more than " + std::to_string(TModelCheck::MAX_INSTANCES) + " nodes";
        return "";
    }
    bool FoundLoop() const { return m_bLoop; }
    std::vector<SoNode*> GetNodes() const
    {
        std::vector<SoNode*> vecNodes;
        for (const auto& Entry : m_mapSizes)
            vecNodes.push_back(Entry.first);
        return vecNodes;
    }

private:
    struct TSize
    {
        int64_t nInstances;
        int nHeight;
    };
    static constexpr int64_t ON_PATH = -1;

    TSize Walk(SoNode* pNode)
    {
        const auto it = m_mapSizes.find(pNode);
        if (it != m_mapSizes.end()) {
            if (it->second.nInstances == ON_PATH) {
                m_bLoop = true;
                m_strWhy = "holds " + NodeName(pNode) + " inside itself";
            }
            return it->second;
        }
        m_mapSizes.emplace(pNode, TSize{ON_PATH, 0});
        TSize Size{1, 1};
        for (SoNode* pUnder : NodesUnder(pNode)) {
            const TSize Under = Walk(pUnder);
            if (!m_strWhy.empty())
                return Size;
            // Capped, so that a few nodes used over and over cannot overflow the count.
            Size.nInstances = std::min<int64_t>(Size.nInstances + Under.nInstances, TModelCheck::MAX_INSTANCES + 1);
            Size.nHeight = std::max(Size.nHeight, Under.nHeight + 1);
            // The walk itself stops at the depth limit, not later.
            if (Size.nHeight > TModelCheck::MAX_DEPTH) {
                m_strWhy = "nests deeper than " + std::to_string(TModelCheck::MAX_DEPTH);
                return Size;
            }
        }
        m_mapSizes[pNode] = Size;
        return Size;
    }

    std::unordered_map<SoNode*, TSize> m_mapSizes;
    std::string m_strWhy;
    bool m_bLoop = false;
};

// Takes a scene apart, so that nodes that hold one another are freed. Each node is held
// meanwhile: taking one apart may free another.
void Unlink(const std::vector<SoNode*>& vecNodes)
{
    for (SoNode* pNode : vecNodes)
        pNode->ref();
    for (SoNode* pNode : vecNodes) {
        if (pNode->isOfType(SoGroup::getClassTypeId()))
            static_cast<SoGroup*>(pNode)->removeAllChildren();
        SoFieldList Fields;
        for (int i = 0, n = pNode->getFields(Fields); i < n; ++i) {
            if (Fields[i]->isOfType(SoSFNode::getClassTypeId()))
                static_cast<SoSFNode*>(Fields[i])->setValue(nullptr);
            else if (Fields[i]->isOfType(SoMFNode::getClassTypeId()))
                static_cast<SoMFNode*>(Fields[i])->setNum(0);
        }
    }
    for (SoNode* pNode : vecNodes)
        pNode->unref();
}

// What a shape takes from the arrays, per vertex, per face and per part. A face of a face set is
// also its part; for strips, lines, points and meshes both counts are the larger of the two
// that the shape could mean (strips or triangles, polylines or segments): a wrong guess about
// which one Coin counts would let it read past an array.
struct TShapeUse
{
    int64_t nVertices = 0;
    int64_t nFaces = 0;
    int64_t nFirst = 0;  // where a non-indexed shape starts in the arrays
};

// Runs of indices ended by negative ones: polygons, strips or polylines.
struct TRuns
{
    int64_t nVertices = 0;  // entries that are not run ends
    int64_t nRuns = 0;
    int64_t nSegments = 0;   // a polyline's lines
    int64_t nTriangles = 0;  // a strip's triangles
    int64_t nMax = -1;       // largest index
};

TRuns CountRuns(const SoMFInt32& Indices)
{
    TRuns Runs;
    int64_t nInRun = 0;
    for (int i = 0; i <= Indices.getNum(); ++i) {
        const bool bEnd = i == Indices.getNum() || Indices[i] < 0;
        if (!bEnd) {
            ++nInRun;
            ++Runs.nVertices;
            Runs.nMax = std::max<int64_t>(Runs.nMax, Indices[i]);
            continue;
        }
        if (nInRun > 0) {
            ++Runs.nRuns;
            Runs.nSegments += nInRun - 1;
            Runs.nTriangles += std::max<int64_t>(nInRun - 2, 0);
        }
        nInRun = 0;
    }
    return Runs;
}

// The counts of a non-indexed shape's numVertices: faces, strips or polylines. Empty when the
// list holds a negative count other than the lone default -1 (which draws nothing).
bool CountVertices(const SoMFInt32& Counts, TShapeUse& Use, int64_t& nSegments, int64_t& nTriangles)
{
    if (Counts.getNum() == 1 && Counts[0] == -1)
        return true;
    for (int i = 0; i < Counts.getNum(); ++i) {
        if (Counts[i] < 0)
            return false;
        Use.nVertices += Counts[i];
        ++Use.nFaces;
        nSegments += std::max<int64_t>(Counts[i] - 1, 0);
        nTriangles += std::max<int64_t>(Counts[i] - 2, 0);
    }
    return true;
}

// Checks every shape against the arrays in force where it is drawn.
class TShapeCheck
{
public:
    std::string Check(SoNode* pScene)
    {
        SoCallbackAction Action;
        Action.addPreCallback(SoShape::getClassTypeId(), OnShape, this);
        Action.addPreCallback(SoSwitch::getClassTypeId(), OnSwitch, this);
        Action.apply(pScene);
        return m_strWhy;
    }

private:
    static SoCallbackAction::Response OnSwitch(void* pData, SoCallbackAction* /*pAction*/, const SoNode* pNode)
    {
        auto* pThis = static_cast<TShapeCheck*>(pData);
        const auto* pSwitch = static_cast<const SoSwitch*>(pNode);
        // Coin takes an inherited choice modulo the children, which divides by zero here.
        if (pSwitch->whichChild.getValue() == SO_SWITCH_INHERIT && pSwitch->getNumChildren() == 0)
            return pThis->Fail(NodeName(pNode) + " inherits its choice and has no children");
        return SoCallbackAction::CONTINUE;
    }

    static SoCallbackAction::Response OnShape(void* pData, SoCallbackAction* pAction, const SoNode* pNode)
    {
        auto* pThis = static_cast<TShapeCheck*>(pData);
        const std::string strWhy = CheckShape(pAction->getState(), pNode);
        return strWhy.empty() ? SoCallbackAction::CONTINUE : pThis->Fail(NodeName(pNode) + " " + strWhy);
    }

    SoCallbackAction::Response Fail(const std::string& strWhy)
    {
        m_strWhy = strWhy;
        return SoCallbackAction::ABORT;
    }

    // The values a binding needs from an array of nAvailable, for a shape that uses them
    // in order (not indexed) from Use.nFirst on. Normal bindings have the same values as
    // material bindings; texture coordinates are bound per vertex, indexed or not.
    static bool Enough(int nBinding, const TShapeUse& Use, int64_t nAvailable)
    {
        switch (nBinding) {
        case SoMaterialBindingElement::PER_PART:
        case SoMaterialBindingElement::PER_PART_INDEXED:
        case SoMaterialBindingElement::PER_FACE:
        case SoMaterialBindingElement::PER_FACE_INDEXED: return Use.nFirst + Use.nFaces <= nAvailable;
        case SoMaterialBindingElement::PER_VERTEX:
        case SoMaterialBindingElement::PER_VERTEX_INDEXED: return Use.nFirst + Use.nVertices <= nAvailable;
        default: return true;  // overall: the first value, which is always there
        }
    }

    // An indexed shape's attribute: by its own index list when it has one, else by the
    // coordinate indices (Coin's rule), or in order for the non-indexed bindings.
    static bool IndexedEnough(int nBinding, const SoMFInt32& Own, const SoMFInt32& Coords, const TShapeUse& Use,
                              int64_t nAvailable)
    {
        const bool bOwn = Own.getNum() > 0 && Own[0] >= 0;
        const SoMFInt32& Indices = bOwn ? Own : Coords;
        int64_t nRead = 0;  // entries Coin reads from the index list
        switch (nBinding) {
        case SoMaterialBindingElement::PER_VERTEX_INDEXED: nRead = Coords.getNum(); break;
        case SoMaterialBindingElement::PER_PART_INDEXED:
        case SoMaterialBindingElement::PER_FACE_INDEXED: nRead = Use.nFaces; break;
        default: return Enough(nBinding, Use, nAvailable);
        }
        if (Indices.getNum() < nRead)
            return false;
        for (int64_t i = 0; i < nRead; ++i) {
            // Per vertex, the entries at the ends of the coordinates' runs are not read.
            const bool bRunEnd = nBinding == SoMaterialBindingElement::PER_VERTEX_INDEXED && Coords[i] < 0;
            if (!bRunEnd && (Indices[i] < 0 || Indices[i] >= nAvailable))
                return false;
        }
        return true;
    }

    static std::string CheckShape(SoState* pState, const SoNode* pNode)
    {
        const int64_t nMaterials = SoLazyElement::getInstance(pState)->getNumDiffuse();
        const int nMaterialBinding = SoMaterialBindingElement::get(pState);
        if (pNode->isOfType(SoCube::getClassTypeId()) || pNode->isOfType(SoCone::getClassTypeId()) ||
            pNode->isOfType(SoCylinder::getClassTypeId())) {
            // Colours per part or face: six faces of a cube, at most three parts of the others.
            TShapeUse Use;
            Use.nFaces = Use.nVertices = pNode->isOfType(SoCube::getClassTypeId()) ? 6 : 3;
            return Enough(nMaterialBinding, Use, nMaterials) ? "" : "has more faces than colours";
        }
        if (!pNode->isOfType(SoVertexShape::getClassTypeId()))
            return "";
        const auto* pShape = static_cast<const SoVertexShape*>(pNode);
        if (pShape->vertexProperty.getValue())
            return "has vertex properties of its own";

        const int64_t nCoords = SoCoordinateElement::getInstance(pState)->getNum();
        const int64_t nNormals = SoNormalElement::getInstance(pState)->getNum();
        const auto* pTexture = SoMultiTextureCoordinateElement::getInstance(pState);
        const int64_t nTexCoords =
            pTexture->getType() == SoMultiTextureCoordinateElement::EXPLICIT ? pTexture->getNum() : 0;
        const int nNormalBinding = SoNormalBindingElement::get(pState);
        const int nTexBinding = SoTextureCoordinateBindingElement::get(pState) ==
                                        SoTextureCoordinateBindingElement::PER_VERTEX
                                    ? SoMaterialBindingElement::PER_VERTEX
                                    : SoMaterialBindingElement::PER_VERTEX_INDEXED;

        if (pNode->isOfType(SoIndexedShape::getClassTypeId())) {
            const auto* pIndexed = static_cast<const SoIndexedShape*>(pNode);
            const TRuns Runs = CountRuns(pIndexed->coordIndex);
            TShapeUse Use;
            Use.nVertices = Runs.nVertices;
            Use.nFaces = pNode->isOfType(SoIndexedFaceSet::getClassTypeId())
                             ? Runs.nRuns
                             : std::max({Runs.nRuns, Runs.nSegments, Runs.nTriangles});
            if (Runs.nMax >= nCoords)
                return "uses coordinate " + std::to_string(Runs.nMax) + " of " + std::to_string(nCoords);
            if (!IndexedEnough(nMaterialBinding, pIndexed->materialIndex, pIndexed->coordIndex, Use, nMaterials))
                return "uses colours beyond the " + std::to_string(nMaterials) + " given";
            // No normals: Coin makes its own.
            if (nNormals > 0 &&
                !IndexedEnough(nNormalBinding, pIndexed->normalIndex, pIndexed->coordIndex, Use, nNormals))
                return "uses normals beyond the " + std::to_string(nNormals) + " given";
            if (nTexCoords > 0 &&
                !IndexedEnough(nTexBinding, pIndexed->textureCoordIndex, pIndexed->coordIndex, Use, nTexCoords))
                return "uses texture coordinates beyond the " + std::to_string(nTexCoords) + " given";
            return "";
        }

        const auto* pPlain = static_cast<const SoNonIndexedShape*>(pNode);
        TShapeUse Use;
        Use.nFirst = pPlain->startIndex.getValue();
        if (Use.nFirst < 0)
            return "starts at coordinate " + std::to_string(Use.nFirst);
        int64_t nSegments = 0;
        int64_t nTriangles = 0;
        bool bCounts = true;
        if (pNode->isOfType(SoFaceSet::getClassTypeId()))
            bCounts = CountVertices(static_cast<const SoFaceSet*>(pNode)->numVertices, Use, nSegments, nTriangles);
        else if (pNode->isOfType(SoTriangleStripSet::getClassTypeId()))
            bCounts = CountVertices(static_cast<const SoTriangleStripSet*>(pNode)->numVertices, Use, nSegments,
                                    nTriangles);
        else if (pNode->isOfType(SoLineSet::getClassTypeId()))
            bCounts = CountVertices(static_cast<const SoLineSet*>(pNode)->numVertices, Use, nSegments, nTriangles);
        else if (pNode->isOfType(SoPointSet::getClassTypeId())) {
            const int32_t nPoints = static_cast<const SoPointSet*>(pNode)->numPoints.getValue();
            Use.nVertices = Use.nFaces = nPoints < 0 ? std::max<int64_t>(nCoords - Use.nFirst, 0) : nPoints;
        } else if (pNode->isOfType(SoQuadMesh::getClassTypeId())) {
            const auto* pMesh = static_cast<const SoQuadMesh*>(pNode);
            const int64_t nColumns = pMesh->verticesPerColumn.getValue();
            const int64_t nRows = pMesh->verticesPerRow.getValue();
            if (nColumns < 0 || nRows < 0)
                return "has a negative size";
            Use.nVertices = nColumns * nRows;
            Use.nFaces = std::max({(nColumns - 1) * (nRows - 1), nColumns, nRows});
        } else {
            return "is a shape the game does not check";
        }
        if (!bCounts)
            return "has a negative vertex count";
        if (!pNode->isOfType(SoFaceSet::getClassTypeId()))
            Use.nFaces = std::max({Use.nFaces, nSegments, nTriangles});
        if (Use.nFirst + Use.nVertices > nCoords)
            return "uses coordinates up to " + std::to_string(Use.nFirst + Use.nVertices) + " of " +
                   std::to_string(nCoords);
        if (!Enough(nMaterialBinding, Use, nMaterials))
            return "uses colours beyond the " + std::to_string(nMaterials) + " given";
        if (nNormals > 0 && !Enough(nNormalBinding, Use, nNormals))
            return "uses normals beyond the " + std::to_string(nNormals) + " given";
        if (nTexCoords > 0 && !Enough(nTexBinding, Use, nTexCoords))
            return "uses texture coordinates beyond the " + std::to_string(nTexCoords) + " given";
        return "";
    }

    std::string m_strWhy;
};
}  // namespace

std::string TModelCheck::Check(SoNode* pScene)
{
    TSceneWalk Walk;
    const std::string strWhy = Walk.Check(pScene);
    if (!strWhy.empty()) {
        if (Walk.FoundLoop())
            Unlink(Walk.GetNodes());
        return strWhy;
    }
    TShapeCheck Shapes;
    return Shapes.Check(pScene);
}
