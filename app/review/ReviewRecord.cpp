#include "app/review/ReviewRecord.h"

#include "app/model/PersonRecord.h"

ContactRecord reviewRecordOf(const ABPerson& person) {
  // The record refers to the person only through "Person", which the review does not read.
  ABPersonRef alias(std::shared_ptr<ABPerson>(), const_cast<ABPerson*>(&person));
  return prasePersonForReview(alias);
}
