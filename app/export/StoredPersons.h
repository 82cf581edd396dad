#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/addressbook/ABAddressBook.h"

// Gives the store's persons in order, a batch at a time as they are stored (to be decoded by
// whoever takes them): calls take with each batch until take returns false; false (and *error)
// when it could not give them all.
using StoredPersonBatches = std::function<bool(
    const std::function<bool(std::shared_ptr<const ABStoredBatch> batch)>& take, std::string* error)>;
