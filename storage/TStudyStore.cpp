#include "storage/TStudyStore.h"

TStudyStore::~TStudyStore() = default;
