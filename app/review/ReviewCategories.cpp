#include "app/review/ReviewCategories.h"

#include <deque>
#include <mutex>

#include "app/review/conditions/ReviewConditions.h"

namespace ReviewCategories {

namespace {

// Every matrix declared, in the order first declared; a name stands for one matrix.
std::deque<FixMatrix>& declaredMatrices() {
  static std::deque<FixMatrix> matrices;
  return matrices;
}

}  // namespace

Category declare(Category category, const std::string& matrixName) {
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  std::vector<std::string> options;
  for (const auto& fix : category.fixes) options.push_back(fix.title);
  auto& matrices = declaredMatrices();
  const FixMatrix* matrix = nullptr;
  for (const auto& declared : matrices)
    if (declared.name == matrixName) matrix = &declared;
  if (!matrix) matrix = &matrices.emplace_back(FixMatrix{matrixName, std::move(options)});
  category.matrix = matrix;
  return category;
}

const FixOption* Category::fix(const std::string& option) const {
  for (const auto& fix : fixes)
    if (fix.title == option) return &fix;
  return nullptr;
}

const std::vector<Category>& all() {
  namespace C = ReviewConditions;
  static const std::vector<Category> categories = {
      C::unusualSuffix(),
      C::unusualTitle(),
      C::incompleteName(),
      C::spaceInFirstName(),
      C::duplicateContacts(),
      C::emptyNotes(),
      C::duplicateEmail(),
      C::duplicatePhone(),
      C::duplicateAddress(),
      C::emptyNickname(),
      C::blankName(),
      C::shareEmail(),
      C::invalidCharacters(),
      C::similarContacts(),
      C::phoneWrittenDifferently(),
      C::phoneFormat(),
      // After the first sixteen, each a file of app/review/conditions/ too.
      C::damagedText(),
      C::nameCase(),
      C::unlikelyDate(),
      C::unreachable(),
      C::groupWrittenDifferently(),
      C::emptyGroup(),
      C::largePhoto(),
      C::sharedPhoto(),
  };
  return categories;
}

const Category* byTitle(const std::string& title) {
  for (const auto& category : all())
    if (category.title == title) return &category;
  return nullptr;
}

const Category* byConditionKey(const std::string& key) {
  for (const auto& category : all())
    if (category.conditionKey == key) return &category;
  return nullptr;
}

const std::vector<const FixMatrix*>& matrices() {
  static const std::vector<const FixMatrix*> list = [] {
    all();  // every category declared, and with it its matrix
    std::vector<const FixMatrix*> matrices;
    for (const auto& matrix : declaredMatrices()) matrices.push_back(&matrix);
    return matrices;
  }();
  return list;
}

}  // namespace ReviewCategories
