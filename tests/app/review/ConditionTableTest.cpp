#include <gtest/gtest.h>

#include <set>

#include "app/review/ReviewCategories.h"
#include "app/scanner/ScanConditions.h"

namespace RC = ReviewCategories;

// Every condition of the table is whole: the scanner's half (name, key, how it is found) has its
// review half (category, details, fix options each with an action and a preview), and nothing is
// declared on one side only.
TEST(ConditionTableTest, EveryConditionIsDeclaredWhole) {
  std::set<std::string> names, keys, titles;
  for (const auto& condition : scanConditions()) {
    SCOPED_TRACE(condition.key);
    EXPECT_FALSE(condition.name.empty());
    EXPECT_FALSE(condition.key.empty());
    EXPECT_TRUE(names.insert(condition.name).second) << "one name, one condition";
    EXPECT_TRUE(keys.insert(condition.key).second) << "one key, one condition";
    EXPECT_EQ(condition.meets != nullptr, condition.task == ScanCondition::Task::kPersonTest);
    EXPECT_EQ(scanConditionNamed(condition.name), &condition);
    EXPECT_EQ(scanConditionKeyed(condition.key), &condition);

    const RC::Category* category = RC::byConditionKey(condition.key);
    ASSERT_NE(category, nullptr) << "no review category";
    EXPECT_TRUE(titles.insert(category->title).second) << "one title, one category";
    EXPECT_EQ(RC::byTitle(category->title), category);
    EXPECT_FALSE(category->rowDescription.empty());
    EXPECT_TRUE(category->details || !category->problemText.empty()) << "no details text";
    ASSERT_FALSE(category->fixes.empty());
    ASSERT_NE(category->matrix, nullptr);
    std::vector<std::string> options;
    for (const auto& fix : category->fixes) {
      EXPECT_FALSE(fix.title.empty());
      EXPECT_NE(fix.act, nullptr) << fix.title;
      EXPECT_NE(fix.preview, nullptr) << fix.title;
      EXPECT_EQ(category->fix(fix.title), &fix);
      options.push_back(fix.title);
    }
    EXPECT_EQ(category->matrix->options, options) << "the matrix shows the options in their order";
    if (category->singleAction) {
      EXPECT_EQ(category->fixes.size(), 1u);
    }
    // A person condition's stale finding is re-checked by its test unless the category has its own.
    EXPECT_TRUE(category->stale || condition.meets) << "no re-check of a stale finding";
    EXPECT_TRUE(category->stale || !category->noLongerMeets.empty());
  }
  EXPECT_EQ(RC::all().size(), scanConditions().size()) << "a category without a condition";
  // Matrices of one name are one matrix.
  std::set<std::string> matrixNames;
  for (const auto* matrix : RC::matrices()) EXPECT_TRUE(matrixNames.insert(matrix->name).second) << matrix->name;
  for (const auto& category : RC::all())
    for (const auto* matrix : RC::matrices())
      if (matrix->name == category.matrix->name) {
        EXPECT_EQ(matrix, category.matrix) << category.title;
      }
}
