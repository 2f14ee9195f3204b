#include "databank/ModelReader.h"

#include "base/Assert.h"
#include "databank/ImageShape.h"
#include "databank/ModelCheck.h"

#include <Inventor/SbName.h>
#include <Inventor/SbString.h>
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/SoType.h>
#include <Inventor/engines/SoFieldConverter.h>
#include <Inventor/errors/SoReadError.h>
#include <Inventor/fields/SoSFFloat.h>
#include <Inventor/lists/SoTypeList.h>
#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoComplexity.h>
#include <Inventor/nodes/SoCone.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoCoordinate4.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoCylinder.h>
#include <Inventor/nodes/SoDrawStyle.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoIndexedLineSet.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoLightModel.h>
#include <Inventor/nodes/SoLineSet.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoMaterialBinding.h>
#include <Inventor/nodes/SoMatrixTransform.h>
#include <Inventor/nodes/SoNormal.h>
#include <Inventor/nodes/SoNormalBinding.h>
#include <Inventor/nodes/SoPackedColor.h>
#include <Inventor/nodes/SoPointSet.h>
#include <Inventor/nodes/SoPolygonOffset.h>
#include <Inventor/nodes/SoQuadMesh.h>
#include <Inventor/nodes/SoRotation.h>
#include <Inventor/nodes/SoRotationXYZ.h>
#include <Inventor/nodes/SoScale.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShapeHints.h>
#include <Inventor/nodes/SoSphere.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoTexture2.h>
#include <Inventor/nodes/SoTexture2Transform.h>
#include <Inventor/nodes/SoTextureCoordinate2.h>
#include <Inventor/nodes/SoTextureCoordinateBinding.h>
#include <Inventor/nodes/SoTransform.h>
#include <Inventor/nodes/SoTransformSeparator.h>
#include <Inventor/nodes/SoTranslation.h>
#include <Inventor/nodes/SoTriangleStripSet.h>
#include <Inventor/nodes/SoUnits.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {
// Coin looks a node type it does not know up as a shared library on the library path
// (Zork.so, libZork.so) and runs its code: a model could name any library there. Coin reads
// this switch once, at the first type lookup, which SoDB::init makes; so it is set before main
// in every program that reads models.
__attribute__((constructor)) void NoNodeLibraries()
{
    setenv("COIN_NO_SOTYPE_DYNLOAD", "1", 1);
}

// The scene texts Coin reads as text.
const char* const TEXT_HEADERS[] = {
    "#Inventor V2.1 ascii", "#Inventor V2.0 ascii", "#Inventor V1.0 ascii", "#VRML V1.0 ascii", "#VRML V2.0 utf8",
};

bool HasTextHeader(const uint8_t* pText, size_t nSize)
{
    for (const char* szHeader : TEXT_HEADERS) {
        const size_t nLength = std::strlen(szHeader);
        if (nSize >= nLength && std::memcmp(pText, szHeader, nLength) == 0 &&
            (nSize == nLength || std::isspace(pText[nLength])))
            return true;
    }
    return false;
}

// A name or text from the model, quoted on one line and cut short.
std::string Quote(const char* szText)
{
    constexpr size_t MAX_SHOWN = 80;
    std::string strQuoted = "\"";
    for (size_t i = 0; szText[i] && i < MAX_SHOWN; ++i)
        strQuoted += std::isprint(static_cast<unsigned char>(szText[i])) ? szText[i] : '?';
    if (std::strlen(szText) > MAX_SHOWN)
        strQuoted += "...";
    return strQuoted + "\"";
}

// Keywords of the VRML reader that reach past the node types: prototypes (with external files)
// and routes, which connect fields after the read.
bool IsRefusedKeyword(const SbName& Name)
{
    return Name == "PROTO" || Name == "EXTERNPROTO" || Name == "ROUTE";
}

// The input Coin reads the model through. Every read is checked on its way to Coin; once
// something is refused, every further read fails, so that Coin unwinds without acting on
// anything more of the model.
class TModelInput : public SoInput
{
public:
    bool IsRefused() const { return !m_strRefusal.empty(); }
    const std::string& GetRefusal() const { return m_strRefusal; }
    void Refuse(const std::string& strWhy)
    {
        if (m_strRefusal.empty())
            m_strRefusal = strWhy;
    }
    // The last name read: at a type lookup, the type's name.
    const SbName& GetLastName() const { return m_LastName; }

    SbBool openFile(const char* szName, SbBool /*bOkIfNotFound*/) override { return RefuseFile(szName); }
    SbBool pushFile(const char* szName) override { return RefuseFile(szName); }

    SbBool get(char& c) override { return Pass(SoInput::get(c)); }
    SbBool read(char& c) override { return !IsRefused() && SoInput::read(c) && Watch(c); }
    SbBool read(char& c, SbBool bSkip) override { return !IsRefused() && SoInput::read(c, bSkip) && Watch(c); }
    SbBool read(SbString& s) override
    {
        if (!IsRefused() && SoInput::read(s))
            Refuse("names " + Quote(s.getString()) + ": a model holds no file names or other text");
        return FALSE;
    }
    SbBool read(SbName& n, SbBool bValidIdent) override
    {
        if (IsRefused() || !SoInput::read(n, bValidIdent))
            return FALSE;
        m_LastName = n;
        if (IsRefusedKeyword(n))
            Refuse("uses " + std::string(n.getString()) + ", which a model may not");
        return Pass(TRUE);
    }
    SbBool read(short& s) override
    {
        // Among the node types a model may hold, only an image's size is a 16-bit number: it is
        // checked here, before the image field allocates what it claims.
        if (IsRefused() || !SoInput::read(s))
            return FALSE;
        if (s > MAX_TEXTURE_SIDE)
            Refuse("holds an image " + std::to_string(s) + " pixels on a side (at most " +
                   std::to_string(MAX_TEXTURE_SIDE) + ")");
        return Pass(TRUE);
    }
    SbBool read(int& i) override { return Pass(SoInput::read(i)); }
    SbBool read(unsigned int& i) override { return Pass(SoInput::read(i)); }
    SbBool read(unsigned short& s) override { return Pass(SoInput::read(s)); }
    SbBool read(float& f) override { return Pass(SoInput::read(f)); }
    SbBool read(double& d) override { return Pass(SoInput::read(d)); }
    SbBool readByte(int8_t& b) override { return Pass(SoInput::readByte(b)); }
    SbBool readByte(uint8_t& b) override { return Pass(SoInput::readByte(b)); }
    SbBool readHex(uint32_t& l) override { return Pass(SoInput::readHex(l)); }
    SbBool readBinaryArray(unsigned char* c, int n) override { return Pass(SoInput::readBinaryArray(c, n)); }
    SbBool readBinaryArray(int32_t* l, int n) override { return Pass(SoInput::readBinaryArray(l, n)); }
    SbBool readBinaryArray(float* f, int n) override { return Pass(SoInput::readBinaryArray(f, n)); }
    SbBool readBinaryArray(double* d, int n) override { return Pass(SoInput::readBinaryArray(d, n)); }
    SbBool eof() const override { return IsRefused() || SoInput::eof(); }

    void putBack(const char c) override
    {
        Unwatch(c);
        SoInput::putBack(c);
    }
    void putBack(const char* szText) override
    {
        for (const char* p = szText; *p; ++p)
            Unwatch(*p);
        SoInput::putBack(szText);
    }

private:
    SbBool Pass(SbBool bRead) const { return bRead && !IsRefused(); }

    SbBool RefuseFile(const char* szName)
    {
        Refuse("names the file " + Quote(szName ? szName : ""));
        return FALSE;
    }

    // Braces count the nesting, which Coin reads recursively, and the nodes, which Coin makes
    // as it reads (a few bytes of text each); '=' starts a field connection, which would copy
    // a value into a field after the read (a file name from anything that converts to text).
    SbBool Watch(char c)
    {
        if (c == '{' && ++m_nDepth > TModelCheck::MAX_DEPTH)
            Refuse("nests deeper than " + std::to_string(TModelCheck::MAX_DEPTH));
        else if (c == '{' && ++m_nNodes > TModelCheck::MAX_INSTANCES)
            Refuse("holds more than " + std::to_string(TModelCheck::MAX_INSTANCES) + " nodes");
        else if (c == '}')
            --m_nDepth;
        else if (c == '=')
            Refuse("connects fields (\"=\"), which a model may not");
        return Pass(TRUE);
    }
    void Unwatch(char c)
    {
        if (c == '{') {
            --m_nDepth;
            --m_nNodes;
        } else if (c == '}') {
            ++m_nDepth;
        }
    }

    std::string m_strRefusal;
    SbName m_LastName;
    int m_nDepth = 0;
    int m_nNodes = 0;
};

// The input being read, for the type factories below; one model is read at a time.
TModelInput* s_pInput = nullptr;

void* RefuseNodeType()
{
    DRELK_ASSERT(s_pInput);
    // In VRML97 text Coin looks "Shape" up as VRMLShape first.
    const std::string strKind = s_pInput->isFileVRML2() ? "VRML97 " : "";
    s_pInput->Refuse("holds a " + strKind + s_pInput->GetLastName().getString() + " node, which a model may not hold");
    return nullptr;  // the reader takes it as a node it could not make
}

void* RefuseFieldType()
{
    DRELK_ASSERT(s_pInput);
    s_pInput->Refuse("declares fields of its own, which a model may not");
    // Coin uses the field it asked for before it reads on: it gets one that is never read.
    return new SoSFFloat;
}

// While a model is read, every node and engine type but the allowed ones, and every field type
// made on the fly, is made by a factory above that refuses it; the real factories come back at
// the end of the read. Field converters stay: only connections make them, and the input
// refuses those.
class TTypeGuard
{
public:
    explicit TTypeGuard(TModelInput& Input)
    {
        DRELK_ASSERT(!s_pInput);
        s_pInput = &Input;
        const std::vector<SoType> vecAllowed = TModelReader::GetAllowedTypes();
        SoTypeList Types;
        SoType::getAllDerivedFrom(SoBase::getClassTypeId(), Types);
        for (int i = 0; i < Types.getLength(); ++i) {
            const SoType Type = Types[i];
            if (std::find(vecAllowed.begin(), vecAllowed.end(), Type) == vecAllowed.end() &&
                !Type.isDerivedFrom(SoFieldConverter::getClassTypeId()))
                Override(Type, RefuseNodeType);
        }
        Types.truncate(0);
        SoType::getAllDerivedFrom(SoField::getClassTypeId(), Types);
        for (int i = 0; i < Types.getLength(); ++i)
            Override(Types[i], RefuseFieldType);
    }
    ~TTypeGuard()
    {
        for (const auto& Saved : m_vecSaved)
            SoType::overrideType(Saved.first, Saved.second);
        s_pInput = nullptr;
    }
    TTypeGuard(const TTypeGuard&) = delete;
    TTypeGuard& operator=(const TTypeGuard&) = delete;

private:
    void Override(SoType Type, SoType::instantiationMethod pMethod)
    {
        if (!Type.canCreateInstance())
            return;
        m_vecSaved.emplace_back(Type, Type.getInstantiationMethod());
        SoType::overrideType(Type, pMethod);
    }

    std::vector<std::pair<SoType, SoType::instantiationMethod>> m_vecSaved;
};

// Coin's read errors, which it would print, kept: the first says why a model did not read.
class TReadErrorCatcher
{
public:
    TReadErrorCatcher()
        : m_pOldData(SoReadError::getHandlerData()), m_pOldHandler(SoReadError::getHandlerCallback())
    {
        SoReadError::setHandlerCallback(OnError, this);
    }
    ~TReadErrorCatcher() { SoReadError::setHandlerCallback(m_pOldHandler, m_pOldData); }
    TReadErrorCatcher(const TReadErrorCatcher&) = delete;
    TReadErrorCatcher& operator=(const TReadErrorCatcher&) = delete;

    const std::string& GetFirst() const { return m_strFirst; }

private:
    static void OnError(const SoError* pError, void* pData)
    {
        auto* pThis = static_cast<TReadErrorCatcher*>(pData);
        if (!pThis->m_strFirst.empty())
            return;
        std::string strText = pError->getDebugString().getString();
        const std::string strPrefix = "Coin read error: ";
        if (strText.compare(0, strPrefix.size(), strPrefix) == 0)
            strText.erase(0, strPrefix.size());
        // One line: Coin puts the place on a second, indented one.
        std::string strLine;
        for (const char c : strText)
            if (!std::isspace(static_cast<unsigned char>(c)) || (!strLine.empty() && strLine.back() != ' '))
                strLine += std::isspace(static_cast<unsigned char>(c)) ? ' ' : c;
        pThis->m_strFirst = strLine;
    }

    void* m_pOldData;
    SoErrorCB* m_pOldHandler;
    std::string m_strFirst;
};

}  // namespace

std::vector<SoType> TModelReader::GetAllowedTypes()
{
    return {
        // Groups.
        SoSeparator::getClassTypeId(), SoGroup::getClassTypeId(), SoSwitch::getClassTypeId(),
        SoTransformSeparator::getClassTypeId(),
        // Transforms.
        SoTransform::getClassTypeId(), SoTranslation::getClassTypeId(), SoRotation::getClassTypeId(),
        SoRotationXYZ::getClassTypeId(), SoScale::getClassTypeId(), SoMatrixTransform::getClassTypeId(),
        SoUnits::getClassTypeId(),
        // Appearance.
        SoMaterial::getClassTypeId(), SoBaseColor::getClassTypeId(), SoPackedColor::getClassTypeId(),
        SoMaterialBinding::getClassTypeId(), SoNormal::getClassTypeId(), SoNormalBinding::getClassTypeId(),
        SoShapeHints::getClassTypeId(), SoDrawStyle::getClassTypeId(), SoLightModel::getClassTypeId(),
        SoComplexity::getClassTypeId(), SoPolygonOffset::getClassTypeId(), SoTexture2::getClassTypeId(),
        SoTexture2Transform::getClassTypeId(), SoTextureCoordinate2::getClassTypeId(),
        SoTextureCoordinateBinding::getClassTypeId(),
        // Geometry.
        SoCoordinate3::getClassTypeId(), SoCoordinate4::getClassTypeId(), SoFaceSet::getClassTypeId(),
        SoIndexedFaceSet::getClassTypeId(), SoTriangleStripSet::getClassTypeId(),
        SoIndexedTriangleStripSet::getClassTypeId(), SoQuadMesh::getClassTypeId(), SoLineSet::getClassTypeId(),
        SoIndexedLineSet::getClassTypeId(), SoPointSet::getClassTypeId(), SoCube::getClassTypeId(),
        SoCone::getClassTypeId(), SoCylinder::getClassTypeId(), SoSphere::getClassTypeId(),
    };
}

TModelReader::TResult TModelReader::Read(const uint8_t* pText, size_t nSize, SoNode*& pScene, std::string& strWhy)
{
    pScene = nullptr;
    strWhy.clear();
    if (!pText || !HasTextHeader(pText, nSize)) {
        // Binary and compressed scenes included: Coin would read them, but the checks here
        // watch the text.
        strWhy = "is not Inventor or VRML text (\"#Inventor V2.1 ascii\" first)";
        return UNREADABLE;
    }
    SoDB::init();
    TModelInput Input;
    Input.setBuffer(pText, nSize);
    SoNode* pNode = nullptr;
    bool bRead = false;
    std::string strReadError;
    {
        TReadErrorCatcher Errors;
        TTypeGuard Guard(Input);
        bRead = SoDB::read(&Input, pNode) && pNode;
        strReadError = Errors.GetFirst();
    }
    if (pNode)
        pNode->ref();
    if (Input.IsRefused()) {
        strWhy = Input.GetRefusal();
        if (pNode)
            pNode->unref();
        return REFUSED;
    }
    if (!bRead) {
        strWhy = strReadError.empty() ? "holds no scene" : strReadError;
        if (pNode)
            pNode->unref();
        return UNREADABLE;
    }
    strWhy = TModelCheck::Check(pNode);
    if (!strWhy.empty()) {
        pNode->unref();
        return REFUSED;
    }
    pScene = pNode;
    return READ;
}
