#include "platform/addressbook/ABPerson.h"
#include "platform/addressbook/vcard/VCardPersonWriter.h"

std::string ABPerson::vCardRepresentation() const {
  return vCardForPerson(*snapshot());
}
