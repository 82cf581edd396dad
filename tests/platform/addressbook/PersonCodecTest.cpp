#include <gtest/gtest.h>

#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/EncodedPersons.h"
#include "platform/addressbook/PersonCodec.h"
#include "platform/addressbook/SqliteStore.h"

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

// Reading in place accepts exactly the encodings decode accepts, whatever is cut off or changed, and
// gives the values decode gives.
TEST(PersonCodecTest, ReadingInPlaceAcceptsWhatDecodingAcceptsAndGivesTheSameValues) {
  ABPersonData data = fullPerson();
  ABMultiValue addresses;
  addresses.addEntry({kABHomeLabel, ABDictionary{{"Street", "1 Main St"}, {"City", "Town"}}, ";TYPE=pref"});
  addresses.addValueWithLabel(std::string(), "");
  data.set(kABAddressProperty, addresses);
  const std::string encoded = PersonCodec::encode(data);
  auto accepts = [](std::string_view bytes) {
    return PersonCodec::readView(bytes, [](std::string_view, const PersonCodec::ValueView&) {});
  };
  for (size_t cut = 0; cut < encoded.size(); ++cut)
    EXPECT_EQ(accepts(std::string_view(encoded).substr(0, cut)),
              PersonCodec::decode(encoded.substr(0, cut)).has_value())
        << cut;
  for (size_t at = 0; at < encoded.size(); ++at)
    for (unsigned char byte : {0x00, 0x01, 0x04, 0x7F, 0x80, 0xFF}) {
      std::string changed = encoded;
      changed[at] = static_cast<char>(byte);
      EXPECT_EQ(accepts(changed), PersonCodec::decode(changed).has_value()) << at << " " << int(byte);
    }

  // Every value as decode gives it, lists entry by entry.
  size_t seen = 0;
  ASSERT_TRUE(PersonCodec::readView(encoded, [&](std::string_view property, const PersonCodec::ValueView& value) {
    ++seen;
    const ABValue* stored = data.find(property);
    ASSERT_NE(stored, nullptr) << property;
    using Kind = PersonCodec::ValueView::Kind;
    switch (value.kind) {
      case Kind::Text:
        EXPECT_EQ(value.text, std::get<std::string>(*stored)) << property;
        break;
      case Kind::Date:
        EXPECT_EQ(value.date, std::get<ABDate>(*stored));
        break;
      case Kind::Integer:
        EXPECT_EQ(value.integer, std::get<std::int64_t>(*stored));
        break;
      case Kind::Bytes: {
        const ABBytes& bytes = std::get<ABBytes>(*stored);
        EXPECT_EQ(value.text, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        break;
      }
      case Kind::List: {
        const ABMultiValue& list = std::get<ABMultiValue>(*stored);
        const auto entries = value.list.entries();
        ASSERT_EQ(entries.size(), list.count()) << property;
        for (size_t i = 0; i < entries.size(); ++i) {
          EXPECT_EQ(entries[i].label, list.entries()[i].label);
          EXPECT_EQ(entries[i].parameters, list.entries()[i].parameters);
          if (const auto* text = std::get_if<std::string>(&list.entries()[i].value)) {
            EXPECT_TRUE(entries[i].isText);
            EXPECT_EQ(entries[i].text, *text);
          } else {
            const auto& dictionary = std::get<ABDictionary>(list.entries()[i].value);
            EXPECT_FALSE(entries[i].isText);
            std::vector<std::pair<std::string, std::string>> read;
            entries[i].dictionary.forEach(
                [&](std::string_view key, std::string_view text) { read.emplace_back(key, text); });
            EXPECT_EQ(read, dictionary.entries());
          }
        }
        break;
      }
    }
  }));
  EXPECT_EQ(seen, data.entries().size());
}

// Dictionaries read in place are equal, and hash alike, whatever the order of their entries, as
// ABDictionary is; a missing or different value makes them differ.
TEST(PersonCodecTest, DictionariesReadInPlaceCompareWhateverTheOrder) {
  auto dictionaryOf = [](const ABDictionary& dictionary, std::string& keep) {
    ABPersonData data;
    ABMultiValue list;
    list.addValueWithLabel(dictionary, kABHomeLabel);
    data.set(kABAddressProperty, list);
    keep = PersonCodec::encode(data);
    PersonCodec::DictionaryView view;
    PersonCodec::readView(keep, [&](std::string_view, const PersonCodec::ValueView& value) {
      view = value.list.entries().front().dictionary;
    });
    return view;
  };
  std::string a, b, c, d;
  const auto one = dictionaryOf({{"Street", "1 Main"}, {"City", "Town"}}, a);
  const auto turned = dictionaryOf({{"City", "Town"}, {"Street", "1 Main"}}, b);
  const auto other = dictionaryOf({{"City", "Town"}, {"Street", "2 Main"}}, c);
  const auto fewer = dictionaryOf({{"City", "Town"}}, d);
  EXPECT_TRUE(one == turned);
  EXPECT_EQ(one.hash(), turned.hash());
  EXPECT_FALSE(one == other);
  EXPECT_FALSE(one == fewer);
  EXPECT_FALSE(fewer == one);
  EXPECT_EQ(one.find("City"), std::optional<std::string_view>("Town"));
  EXPECT_EQ(one.find("Country"), std::nullopt);

  // A row another program wrote may set a key twice: decoding keeps what was set last, and so must
  // every look-up, comparison and hash of the view, or a scan of the store and a scan of the opened
  // book would disagree on such a row.
  std::string twice, last, first, lastAndMore;
  dictionaryOf({{"Street", "1 Main"}, {"Strees", "2 Main"}, {"City", "Town"}}, twice);
  const size_t cut = twice.find("Strees");
  ASSERT_NE(cut, std::string::npos);
  twice[cut + 5] = 't';
  PersonCodec::DictionaryView setTwice;
  const std::optional<ABPersonData> decoded = PersonCodec::decode(twice);
  ASSERT_TRUE(decoded);
  PersonCodec::readView(twice, [&](std::string_view, const PersonCodec::ValueView& value) {
    setTwice = value.list.entries().front().dictionary;
  });
  const ABDictionary decodedDictionary =
      std::get<ABMultiValue>(*decoded->find(kABAddressProperty)).dictionaryAtIndex(0);
  ASSERT_NE(decodedDictionary.find("Street"), nullptr);
  ASSERT_EQ(*decodedDictionary.find("Street"), "2 Main");
  const auto asDecoded = dictionaryOf(decodedDictionary, last);
  const auto asFirst = dictionaryOf({{"Street", "1 Main"}, {"City", "Town"}}, first);
  const auto withMore = dictionaryOf({{"Street", "2 Main"}, {"City", "Town"}, {"Zip", "1"}}, lastAndMore);
  EXPECT_EQ(setTwice.find("Street"), std::optional<std::string_view>("2 Main"));
  EXPECT_TRUE(setTwice == asDecoded);
  EXPECT_TRUE(asDecoded == setTwice);
  EXPECT_EQ(setTwice.hash(), asDecoded.hash());
  EXPECT_FALSE(setTwice == asFirst);
  EXPECT_FALSE(asFirst == setTwice);
  EXPECT_FALSE(setTwice == withMore);
  EXPECT_FALSE(withMore == setTwice);
}

// What the store keeps must not change with the program: a small person's encoding byte for byte,
// and the stored hash of a larger one (long texts and lists, whose lengths take several bytes, every
// kind of value).
TEST(PersonCodecTest, TheEncodingStaysTheSameByteForByte) {
  ABPersonData small;
  small.set(kABUIDProperty, "u");
  small.set(kABPersonFlags, std::int64_t{-3});
  ABMultiValue phones;
  phones.addEntry({kABPhoneMobileLabel, std::string("+1"), ";PREF=1"});
  small.set(kABPhoneProperty, phones);
  std::string hex;
  for (unsigned char c : PersonCodec::encode(small))
    hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
  EXPECT_EQ(
      hex,
      "02030d4142506572736f6e466c61677303050550686f6e6504010e5f24213c4d6f62696c653e21245f073b505245463d3100022b3103"
      "554944010175");

  ABPersonData data = fullPerson();
  data.set(kABNoteProperty, std::string(300, 'n'));
  ABMultiValue many;
  for (int i = 0; i < 200; ++i) many.addEntry({"l" + std::to_string(i), std::string(i, 'v'), i % 7 ? "" : ";X=1"});
  data.set(kABEmailProperty, many);
  data.set(kABPersonFlags, std::int64_t{1} << 40);
  EXPECT_EQ(SqliteStore::hashOfValues(PersonCodec::encode(data)), 17954960018796055434ull);
}

// Persons encoded for an import: each row is the person's encoding with its id, and its hash is the
// store's hash of the row, however many rows a batch has, however batches are joined and when an id
// is replaced (rows are hashed several at a time).
TEST(EncodedPersonsTest, RowsHoldTheEncodingAndTheStoresHashOfEachPerson) {
  auto person = [](int i) {
    ABPersonData data;
    data.set(kABFirstNameProperty, std::string(static_cast<std::size_t>(i * 7 % 40), 'a' + i % 26));
    if (i % 3 == 0) data.set(kABUIDProperty, "own-" + std::to_string(i));
    // Now and then a row larger than the room a buffer keeps for the next one.
    if (i % 500 == 7) data.set(kABNoteProperty, std::string(20000, 'n'));
    return data;
  };
  // Up to rows in several buffers.
  for (int count : {1, 3, 4, 5, 9, 3000}) {
    EncodedPersons first, second;
    std::vector<ABPersonData> expected;
    for (int i = 0; i < count; ++i) {
      ABPersonData data = person(i), second_ = person(100 + i);
      first.add(data);
      second.add(second_);
      expected.push_back(data);  // with the id it was given
      if (i == count - 1)
        for (int k = 0; k < count; ++k) expected.push_back(PersonCodec::decode(second.row(k)).value());
    }
    first.append(std::move(second));
    if (count >= 4) first.replaceUid(1, "replaced");
    ASSERT_EQ(first.size(), static_cast<std::size_t>(2 * count));
    for (std::size_t i = 0; i < first.size(); ++i) {
      std::string_view row = first.row(i);
      EXPECT_EQ(first.hash(i), SqliteStore::hashOfValues(row)) << count << " " << i;
      ABPersonData data = PersonCodec::decode(row).value();
      EXPECT_EQ(*data.string(kABUIDProperty), first.uid(i)) << count << " " << i;
      if (count >= 4 && i == 1) {
        EXPECT_EQ(first.uid(i), "replaced");
        EXPECT_FALSE(first.ownUid(i));
        expected[i].set(kABUIDProperty, std::string("replaced"));
      }
      EXPECT_TRUE(data == expected[i]) << count << " " << i;
    }
  }
}
