#pragma once
// Words the toolkit shows are looked up by key in the application's table.
// The toolkit has no table of its own: the application installs a lookup;
// without one, or for a key the lookup does not know, the key itself is shown.

#include <QString>
#include <functional>

namespace orv {

// Answers a null QString for a key it does not know.
using LocalizedTextProvider = std::function<QString(const QString& key)>;

// Installs the application's lookup; an empty function removes it. Thread-safe.
void setLocalizedTextProvider(LocalizedTextProvider provider);

// The text for `key`, or the key when there is no entry.
QString localizedText(const QString& key);

}  // namespace orv
