// GCDAsyncUdpSocket: the error values it reports and the lookup of their texts.
// Resolver and system-call errors share their domains with GCDAsyncSocket's.
#include "core/sockets/GCDAsyncSocket.h"
#include "core/sockets/GCDAsyncUdpSocket.h"
#include "core/sockets/SocketTexts.h"


namespace orv {

namespace {

std::string localizedText(const std::string& key, const std::string& english)
{
    return socketText(GCDAsyncUdpSocketQueueName, key, english);
}

Error udpError(long code, std::string message)
{
    Error error;
    error.domain = GCDAsyncUdpSocketErrorDomain;
    error.code = code;
    error.message = std::move(message);
    return error;
}

}  // namespace

void GCDAsyncUdpSocket::setTextLookup(GCDAsyncUdpSocketTextLookup lookup)
{
    setSocketTextLookup(GCDAsyncUdpSocketQueueName, std::move(lookup));
}

Error GCDAsyncUdpSocket::badConfigError(const std::string& errMsg)
{
    return udpError(GCDAsyncUdpSocketBadConfigError, errMsg);
}

Error GCDAsyncUdpSocket::badParamError(const std::string& errMsg)
{
    return udpError(GCDAsyncUdpSocketBadParamError, errMsg);
}

Error GCDAsyncUdpSocket::gaiError(int gaiCode)
{
    return GCDAsyncSocket::gaiError(gaiCode);
}

Error GCDAsyncUdpSocket::errnoErrorWithReason(const std::string& reason, int errorNumber)
{
    return GCDAsyncSocket::errnoErrorWithReason(reason, errorNumber);
}

Error GCDAsyncUdpSocket::errnoError(int errorNumber)
{
    return GCDAsyncSocket::errnoError(errorNumber);
}

Error GCDAsyncUdpSocket::sendTimeoutError()
{
    return udpError(GCDAsyncUdpSocketSendTimeoutError,
                    localizedText("GCDAsyncUdpSocketSendTimeoutError", "Send operation timed out"));
}

Error GCDAsyncUdpSocket::socketClosedError()
{
    return udpError(GCDAsyncUdpSocketClosedError, localizedText("GCDAsyncUdpSocketClosedError", "Socket closed"));
}

Error GCDAsyncUdpSocket::otherError(const std::string& errMsg)
{
    return udpError(GCDAsyncUdpSocketOtherError, errMsg);
}

}  // namespace orv
