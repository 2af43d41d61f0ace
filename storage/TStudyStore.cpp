#include "storage/TStudyStore.h"

TStudyStore::~TStudyStore() = default;

std::string TStudyStore::editLockHolder(const TStudy&) const
{
    return {};
}
