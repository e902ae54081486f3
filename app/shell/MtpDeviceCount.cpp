#include "app/shell/MtpDeviceCount.h"

#include <libusb.h>

#include <QVariantList>
#include <QVariantMap>
#include <cstdio>

#include "app/shell/PlistReader.h"

namespace orv::mtp_device_count {

namespace {

std::string exactKey(unsigned vendor, unsigned product)
{
    char key[16];
    std::snprintf(key, sizeof key, "%04x:%04x", vendor & 0xffffu, product & 0xffffu);
    return key;
}

std::string vendorKey(unsigned vendor)
{
    char key[16];
    std::snprintf(key, sizeof key, "%04x:*", vendor & 0xffffu);
    return key;
}

// Integers as they are; a string reads as its leading number (0 when none).
unsigned integerValue(const QVariant& value)
{
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        qsizetype end = 0;
        if (end < text.size() && (text[end] == u'-' || text[end] == u'+'))
            ++end;
        while (end < text.size() && text[end].isDigit())
            ++end;
        return static_cast<unsigned>(text.left(end).toLongLong());
    }
    return static_cast<unsigned>(value.toULongLong());
}

}  // namespace

std::set<std::string> matchingKeys(const QString& resourceFile)
{
    std::set<std::string> keys;
    for (const QVariant& item : readPlistFile(resourceFile).toList()) {
        const QVariantMap matching = item.toMap().value(QStringLiteral("matchingDictionary")).toMap();
        const QVariant vendor = matching.value(QStringLiteral("idVendor"));
        const QVariant product = matching.value(QStringLiteral("idProduct"));
        if (!vendor.isValid() || !product.isValid())
            continue;
        if (product.typeId() == QMetaType::QString && product.toString() == QLatin1String("*"))
            keys.insert(vendorKey(integerValue(vendor)));
        else
            keys.insert(exactKey(integerValue(vendor), integerValue(product)));
    }
    return keys;
}

int countMatching(const std::set<std::string>& keys, const std::vector<UsbId>& attached)
{
    int count = 0;
    for (const UsbId& id : attached) {
        if (keys.count(exactKey(id.vendorId, id.productId)) || keys.count(vendorKey(id.vendorId)))
            ++count;
    }
    return count;
}

std::optional<std::vector<UsbId>> attachedUsbDevices()
{
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0)
        return std::nullopt;
    libusb_device** list = nullptr;
    const ssize_t size = libusb_get_device_list(context, &list);
    if (size < 0) {
        libusb_exit(context);
        return std::nullopt;
    }
    std::vector<UsbId> ids;
    for (ssize_t i = 0; i < size; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) == 0)
            ids.push_back({descriptor.idVendor, descriptor.idProduct});
    }
    libusb_free_device_list(list, 1);
    libusb_exit(context);
    return ids;
}

}  // namespace orv::mtp_device_count
