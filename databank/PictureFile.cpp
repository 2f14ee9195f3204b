#include "databank/PictureFile.h"

#include "databank/ImageShape.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QtGlobal>

namespace {
// Qt's image readers say what is wrong with a file as warnings on standard error ("libpng
// error: ..."); while a picture decodes, the first is kept as the reason instead.
class TDecoderWarnings
{
public:
    TDecoderWarnings() : m_pOld(qInstallMessageHandler(OnMessage)) { s_pstrFirst = &m_strFirst; }
    ~TDecoderWarnings()
    {
        qInstallMessageHandler(m_pOld);
        s_pstrFirst = nullptr;
    }
    TDecoderWarnings(const TDecoderWarnings&) = delete;
    TDecoderWarnings& operator=(const TDecoderWarnings&) = delete;

    const std::string& GetFirst() const { return m_strFirst; }

private:
    static void OnMessage(QtMsgType /*nType*/, const QMessageLogContext& /*Context*/, const QString& strMessage)
    {
        if (s_pstrFirst && s_pstrFirst->empty())
            *s_pstrFirst = strMessage.toStdString();
    }

    static std::string* s_pstrFirst;
    QtMessageHandler m_pOld;
    std::string m_strFirst;
};
std::string* TDecoderWarnings::s_pstrFirst = nullptr;

// Empty when the picture decodes into Picture; otherwise why not.
std::string DecodeInto(const uint8_t* pBytes, int32_t nSize, QImage& Picture)
{
    if (!pBytes || nSize <= 0)
        return "no bytes";
    QByteArray Bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(pBytes), nSize);
    QBuffer Buffer(&Bytes);
    QImageReader Reader(&Buffer);
    if (!Reader.canRead())
        return "not a picture file";
    // Formats whose readers allocate what the size they report says; Qt's GIF reader, for one,
    // makes its canvas from a screen size it does not report.
    const QByteArray Format = Reader.format();
    if (Format != "png" && Format != "jpeg" && Format != "bmp")
        return "a " + Format.toStdString() + " picture: the game reads PNG, JPEG and BMP";
    // The size the file claims, asked before any pixel is allocated; a file whose size cannot
    // be learnt first is not taken.
    const QSize Size = Reader.size();
    if (!Size.isValid())
        return "its size cannot be read";
    if (Size.width() > MAX_TEXTURE_SIDE || Size.height() > MAX_TEXTURE_SIDE)
        return "claims " + std::to_string(Size.width()) + " x " + std::to_string(Size.height()) + " pixels (at most " +
               std::to_string(MAX_TEXTURE_SIDE) + " on a side)";
    if (!Reader.read(&Picture))
        return Reader.errorString().toStdString();
    return "";
}
}  // namespace

QImage TPictureFile::Decode(const uint8_t* pBytes, int32_t nSize, std::string* pWhy)
{
    QImage Picture;
    std::string strWhy;
    {
        TDecoderWarnings Warnings;
        strWhy = DecodeInto(pBytes, nSize, Picture);
        if (!strWhy.empty() && !Warnings.GetFirst().empty())
            strWhy += " (" + Warnings.GetFirst() + ")";
    }
    if (pWhy)
        *pWhy = strWhy;
    return strWhy.empty() ? Picture : QImage();
}
