#include "app/shell/PlistReader.h"

#include <plist/plist.h>

#include <QDateTime>
#include <QFile>
#include <memory>

namespace orv {

namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};

QVariant toVariant(plist_t node, int depth)
{
    if (!node || depth > 64)
        return {};
    switch (plist_get_node_type(node)) {
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        for (;;) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, iter, &key, &value);
            if (!key)
                break;
            map.insert(QString::fromUtf8(key), toVariant(value, depth + 1));
            free(key);
        }
        free(iter);
        return map;
    }
    case PLIST_ARRAY: {
        QVariantList list;
        for (uint32_t i = 0; i < plist_array_get_size(node); ++i)
            list.append(toVariant(plist_array_get_item(node, i), depth + 1));
        return list;
    }
    case PLIST_STRING: {
        char* text = nullptr;
        plist_get_string_val(node, &text);
        QString value = QString::fromUtf8(text ? text : "");
        free(text);
        return value;
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return QVariant::fromValue<qulonglong>(value);
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return value;
    }
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value != 0;
    }
    case PLIST_DATA: {
        char* bytes = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        QByteArray value(bytes, static_cast<qsizetype>(length));
        free(bytes);
        return value;
    }
    case PLIST_DATE: {
        int32_t seconds = 0;
        int32_t micros = 0;
        plist_get_date_val(node, &seconds, &micros);
        // Property-list dates count from 2001-01-01 UTC.
        return QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).addMSecs(qint64(seconds) * 1000 + micros / 1000);
    }
    default:
        return {};
    }
}

}  // namespace

QVariant readPlistFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        return {};
    plist_t raw = nullptr;
    if (bytes.startsWith("bplist"))
        plist_from_bin(bytes.constData(), static_cast<uint32_t>(bytes.size()), &raw);
    else
        plist_from_xml(bytes.constData(), static_cast<uint32_t>(bytes.size()), &raw);
    std::unique_ptr<void, PlistFree> root(raw);
    return toVariant(raw, 0);
}

}  // namespace orv
