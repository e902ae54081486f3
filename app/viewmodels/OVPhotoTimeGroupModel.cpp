#include "app/viewmodels/OVPhotoTimeGroupModel.h"

namespace orv {

OVViewModelRef OVPhotoTimeGroupModel::objectAtIndex(int64_t index) const
{
    if (index < 0 || index >= int64_t(list.size()))
        return nullptr;
    return list[size_t(index)];
}

int64_t OVPhotoTimeGroupModel::indexOfObject(const OVViewModel& item) const
{
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i]->isEqual(item))
            return int64_t(i);
    }
    return -1;
}

}  // namespace orv
