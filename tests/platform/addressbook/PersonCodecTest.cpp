#include <gtest/gtest.h>

#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/PersonCodec.h"

namespace {

ABPersonData fullPerson() {
  ABPersonData data;
  data.set(kABUIDProperty, "U-1");
  data.set(kABFirstNameProperty, "Zoë \xE2\x80\x94 \"quoted\"\n");
  data.set(kABNoteProperty, std::string("with\0nul", 8));
  data.set(kABBirthdayProperty, ABDate{-5, 12, 31});
  data.set(kABPersonFlags, std::int64_t{-3});
  ABMultiValue im;
  im.addValueWithLabel(ABDictionary{{kABInstantMessageServiceKey, "SkypeInstant"}, {kABInstantMessageUsernameKey, "z"}},
                       "");
  im.addValueWithLabel(std::string("plain"), kABHomeLabel);
  data.set(kABInstantMessageProperty, im);
  data.set(kABImageDataProperty, ABBytes{0, 255, 10, 13});
  return data;
}

}  // namespace

TEST(PersonCodecTest, RoundTripKeepsEveryKindOfValue) {
  ABPersonData data = fullPerson();
  auto decoded = PersonCodec::decode(PersonCodec::encode(data));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(*decoded, data);
}

TEST(PersonCodecTest, DamagedBytesAreRefusedNotMisread) {
  std::string bytes = PersonCodec::encode(fullPerson());
  for (size_t cut = 0; cut < bytes.size(); ++cut)
    EXPECT_FALSE(PersonCodec::decode(std::string_view(bytes).substr(0, cut))) << "truncated at " << cut;
  EXPECT_FALSE(PersonCodec::decode(bytes + "x")) << "trailing bytes";
  std::string wrongVersion = bytes;
  wrongVersion[0] = 9;
  EXPECT_FALSE(PersonCodec::decode(wrongVersion));
}

TEST(PersonCodecTest, EncodedSizeIsExact) {
  ABPersonData data = fullPerson();
  data.set(kABNoteProperty, std::string(300, 'n'));  // lengths that take more than one byte
  ABMultiValue many;
  for (int i = 0; i < 200; ++i) many.addValueWithLabel(std::string("v"), "l");
  data.set(kABEmailProperty, many);
  data.set(kABPersonFlags, std::int64_t{1} << 40);
  EXPECT_EQ(PersonCodec::encode(data).size(), PersonCodec::encodedSize(data));
  EXPECT_EQ(PersonCodec::encode(ABPersonData()).size(), PersonCodec::encodedSize(ABPersonData()));
}

TEST(PersonCodecTest, EntryParametersAreKeptAndOlderRowsStillRead) {
  ABPersonData data;
  ABMultiValue phones;
  phones.addEntry({kABPhoneMobileLabel, std::string("+1 555"), ";TYPE=VOICE;PREF=1"});
  phones.addValueWithLabel(std::string("+1 556"), kABHomeLabel);
  data.set(kABPhoneProperty, phones);
  auto decoded = PersonCodec::decode(PersonCodec::encode(data));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->multiValue(kABPhoneProperty)->entries()[0].parameters, ";TYPE=VOICE;PREF=1");
  EXPECT_EQ(*decoded, data);

  // A row written before entries had parameters: version 1, a label and a string item.
  const std::string older(
      "\x01\x01\x05Phone\x04\x01\x02hl\x00\x03"
      "555",
      18);
  auto read = PersonCodec::decode(older);
  ASSERT_TRUE(read);
  const ABMultiValue* list = read->multiValue(kABPhoneProperty);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->labelAtIndex(0), "hl");
  EXPECT_EQ(list->stringAtIndex(0), "555");
  EXPECT_EQ(list->entries()[0].parameters, "");
}
