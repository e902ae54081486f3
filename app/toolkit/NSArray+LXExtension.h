#pragma once
// Small list helpers: reversing, identity lookups and first positions.

#include <QList>
#include <algorithm>
#include <set>

namespace orv {

// A new list in reverse order; the argument is left as it is.
template <typename T>
QList<T> reversedArray(const QList<T>& list)
{
    return QList<T>(list.crbegin(), list.crend());
}

// Reverses the list in place.
template <typename T>
void reversArray(QList<T>& list)
{
    std::reverse(list.begin(), list.end());
}

// True when that very object (pointer identity) is in the list.
template <typename T>
bool containsObjectIdenticalTo(const QList<T*>& list, const T* object)
{
    return std::find(list.cbegin(), list.cend(), object) != list.cend();
}

// True as soon as one of `objects` is in the list by identity; false for none.
template <typename T, typename Collection>
bool containsAnyObjectsIdenticalTo(const QList<T*>& list, const Collection& objects)
{
    return std::any_of(std::begin(objects), std::end(objects),
                       [&](const auto* object) { return containsObjectIdenticalTo(list, object); });
}

// For each of `objects` found in the list (by equality), the index of its
// first equal element; objects not found are skipped.
template <typename T, typename Collection>
std::set<qsizetype> indexesOfObjects(const QList<T>& list, const Collection& objects)
{
    std::set<qsizetype> indexes;
    for (const auto& object : objects)
        if (const qsizetype at = list.indexOf(object); at >= 0)
            indexes.insert(at);
    return indexes;
}

}  // namespace orv
