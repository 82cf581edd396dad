#pragma once

#include "core/record/ContactRecord.h"
#include "platform/addressbook/ABPerson.h"

// The review screen's contact record of a person: the full record without "FullName" and "Preffix".
ContactRecord reviewRecordOf(const ABPerson& person);
