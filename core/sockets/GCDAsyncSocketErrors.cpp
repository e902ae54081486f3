// GCDAsyncSocket: the error values it reports and the lookup of their texts.
#include "core/sockets/GCDAsyncSocket.h"

#include "core/sockets/SocketTexts.h"

#include <cstring>
#include <netdb.h>

namespace orv {

namespace {

std::string localizedText(const std::string& key, const std::string& english)
{
    return socketText(GCDAsyncSocketQueueName, key, english);
}

Error socketError(long code, std::string message)
{
    Error error;
    error.domain = GCDAsyncSocketErrorDomain;
    error.code = code;
    error.message = std::move(message);
    return error;
}

// The errors whose text is fixed; the lookup knows each by its code's name.
Error fixedTextError(GCDAsyncSocketError code)
{
    struct FixedText {
        GCDAsyncSocketError code;
        const char* key;
        const char* english;
    };
    static constexpr FixedText kTexts[] = {
        {GCDAsyncSocketConnectTimeoutError, "GCDAsyncSocketConnectTimeoutError", "Attempt to connect to host timed out"},
        {GCDAsyncSocketReadMaxedOutError, "GCDAsyncSocketReadMaxedOutError", "Read operation reached set maximum length"},
        {GCDAsyncSocketReadTimeoutError, "GCDAsyncSocketReadTimeoutError", "Read operation timed out"},
        {GCDAsyncSocketWriteTimeoutError, "GCDAsyncSocketWriteTimeoutError", "Write operation timed out"},
        {GCDAsyncSocketClosedError, "GCDAsyncSocketClosedError", "Socket closed by remote peer"},
    };
    for (const FixedText& text : kTexts)
        if (text.code == code)
            return socketError(code, localizedText(text.key, text.english));
    return socketError(code, std::string());
}

std::string systemErrorText(int errorNumber)
{
    char buffer[256];
    // The GNU variant may return a static string instead of filling the buffer.
    const char* text = strerror_r(errorNumber, buffer, sizeof buffer);
    return text ? text : "";
}

}  // namespace

void GCDAsyncSocket::setTextLookup(GCDAsyncSocketTextLookup lookup)
{
    setSocketTextLookup(GCDAsyncSocketQueueName, std::move(lookup));
}

Error GCDAsyncSocket::badConfigError(const std::string& errMsg)
{
    return socketError(GCDAsyncSocketBadConfigError, errMsg);
}

Error GCDAsyncSocket::badParamError(const std::string& errMsg)
{
    return socketError(GCDAsyncSocketBadParamError, errMsg);
}

Error GCDAsyncSocket::gaiError(int gaiCode)
{
    Error error;
    error.domain = GCDAsyncSocketLookupErrorDomain;
    error.code = gaiCode;
    const char* text = gai_strerror(gaiCode);
    error.message = text ? text : "";
    return error;
}

Error GCDAsyncSocket::errnoErrorWithReason(const std::string& reason, int errorNumber)
{
    Error error = errnoError(errorNumber);
    error.info[GCDAsyncSocketFailureReasonKey] = reason;
    return error;
}

Error GCDAsyncSocket::errnoError(int errorNumber)
{
    Error error;
    error.domain = GCDAsyncSocketPOSIXErrorDomain;
    error.code = errorNumber;
    error.message = systemErrorText(errorNumber);
    return error;
}

Error GCDAsyncSocket::sslError(int32_t status)
{
    Error error;
    error.domain = GCDAsyncSocketTLSErrorDomain;
    error.code = status;
    error.recoverySuggestion = "Error code definition can be found in GCDAsyncSocket.h (GCDAsyncSocketTLSStatus)";
    return error;
}

Error GCDAsyncSocket::connectTimeoutError() { return fixedTextError(GCDAsyncSocketConnectTimeoutError); }
Error GCDAsyncSocket::readMaxedOutError() { return fixedTextError(GCDAsyncSocketReadMaxedOutError); }
Error GCDAsyncSocket::readTimeoutError() { return fixedTextError(GCDAsyncSocketReadTimeoutError); }
Error GCDAsyncSocket::writeTimeoutError() { return fixedTextError(GCDAsyncSocketWriteTimeoutError); }
Error GCDAsyncSocket::connectionClosedError() { return fixedTextError(GCDAsyncSocketClosedError); }

Error GCDAsyncSocket::otherError(const std::string& errMsg)
{
    return socketError(GCDAsyncSocketOtherError, errMsg);
}

}  // namespace orv
