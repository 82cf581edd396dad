#pragma once

#include <string>

// Property names of a person.
inline const std::string kABUIDProperty = "UID";
inline const std::string kABFirstNameProperty = "First";
inline const std::string kABLastNameProperty = "Last";
inline const std::string kABMiddleNameProperty = "Middle";
inline const std::string kABMaidenNameProperty = "MaidenName";
inline const std::string kABFirstNamePhoneticProperty = "FirstPhonetic";
inline const std::string kABLastNamePhoneticProperty = "LastPhonetic";
inline const std::string kABNicknameProperty = "Nickname";
inline const std::string kABTitleProperty = "Title";
inline const std::string kABSuffixProperty = "Suffix";
inline const std::string kABOrganizationProperty = "Organization";
inline const std::string kABDepartmentProperty = "ABDepartment";
inline const std::string kABJobTitleProperty = "JobTitle";
inline const std::string kABNoteProperty = "Note";
inline const std::string kABBirthdayProperty = "Birthday";              // ABDate
inline const std::string kABPersonFlags = "ABPersonFlags";              // integer
inline const std::string kABImageDataProperty = "ImageData";            // bytes (the picture)
inline const std::string kABEmailProperty = "Email";                    // string list
inline const std::string kABPhoneProperty = "Phone";                    // string list
inline const std::string kABURLsProperty = "URLs";                      // string list
inline const std::string kABRelatedNamesProperty = "ABRelatedNames";    // string list
inline const std::string kABAddressProperty = "Address";                // dictionary list
inline const std::string kABInstantMessageProperty = "InstantMessage";  // dictionary list
inline const std::string kABSocialProfileProperty = "SocialProfile";    // dictionary list
// The groups a person is in by name (vCard CATEGORIES), one text entry each, without labels.
inline const std::string kABCategoriesProperty = "Categories";  // string list
// A group card (vCard 4.0 KIND:group, Apple's X-ADDRESSBOOKSERVER-KIND:group) is a record of its own
// kind: kABKindProperty holds kABKindGroup, kABGroupNameProperty its name and kABGroupMembersProperty
// its members, one entry each: the member's unique id, or the whole value when it names no unique id
// ("mailto:..."); the entry's label is the prefix the value was written with ("urn:uuid:").
inline const std::string kABKindProperty = "Kind";             // string
inline const std::string kABGroupNameProperty = "GroupName";   // string
inline const std::string kABGroupMembersProperty = "Members";  // string list
inline const std::string kABKindGroup = "group";
// What an imported vCard said that the properties above do not hold, written back with the person
// (see VCardKept.h): the card's other property lines, one a line ("group.NAME;PARAM=value:value" as
// read), and lines the writer would write otherwise (FN:Dr. Jo Doe for the name shown "Jo Doe"), written
// as read for as long as their value is unchanged.
inline const std::string kABVCardKeptLinesProperty = "vCardKeptLines";      // string
inline const std::string kABVCardLinesAsReadProperty = "vCardLinesAsRead";  // string

// kABPersonFlags value of a person shown as a company.
inline constexpr long long kABShowAsCompany = 1;

// Generic labels.
inline const std::string kABHomeLabel = "_$!<Home>!$_";
inline const std::string kABWorkLabel = "_$!<Work>!$_";
inline const std::string kABOtherLabel = "_$!<Other>!$_";
inline const std::string kABHomePageLabel = "_$!<HomePage>!$_";

inline const std::string kABEmailHomeLabel = kABHomeLabel;
inline const std::string kABEmailWorkLabel = kABWorkLabel;
inline const std::string kABAddressHomeLabel = kABHomeLabel;
inline const std::string kABAddressWorkLabel = kABWorkLabel;

// Phone labels.
inline const std::string kABPhoneHomeLabel = kABHomeLabel;
inline const std::string kABPhoneWorkLabel = kABWorkLabel;
inline const std::string kABPhoneMobileLabel = "_$!<Mobile>!$_";
inline const std::string kABPhoneiPhoneLabel = "iPhone";
inline const std::string kABPhoneMainLabel = "_$!<Main>!$_";
inline const std::string kABPhoneHomeFAXLabel = "_$!<HomeFAX>!$_";
inline const std::string kABPhoneWorkFAXLabel = "_$!<WorkFAX>!$_";
inline const std::string kABPhonePagerLabel = "_$!<Pager>!$_";

// Related-name labels.
inline const std::string kABFatherLabel = "_$!<Father>!$_";
inline const std::string kABMotherLabel = "_$!<Mother>!$_";
inline const std::string kABParentLabel = "_$!<Parent>!$_";
inline const std::string kABBrotherLabel = "_$!<Brother>!$_";
inline const std::string kABSisterLabel = "_$!<Sister>!$_";
inline const std::string kABChildLabel = "_$!<Child>!$_";
inline const std::string kABFriendLabel = "_$!<Friend>!$_";
inline const std::string kABSpouseLabel = "_$!<Spouse>!$_";
inline const std::string kABPartnerLabel = "_$!<Partner>!$_";
inline const std::string kABAssistantLabel = "_$!<Assistant>!$_";
inline const std::string kABManagerLabel = "_$!<Manager>!$_";

// Address dictionary keys.
inline const std::string kABAddressStreetKey = "Street";
inline const std::string kABAddressCityKey = "City";
inline const std::string kABAddressStateKey = "State";
inline const std::string kABAddressZIPKey = "ZIP";
inline const std::string kABAddressCountryKey = "Country";
inline const std::string kABAddressCountryCodeKey = "CountryCode";
// The post-office box and the extended address of a vCard address (its first two components): kept
// as they came, and shown at the head of the street (ABAddressStreet).
inline const std::string kABAddressPOBoxKey = "POBox";
inline const std::string kABAddressExtendedKey = "ExtendedAddress";

// Instant-message dictionary keys and services.
inline const std::string kABInstantMessageServiceKey = "InstantMessageService";
inline const std::string kABInstantMessageUsernameKey = "InstantMessageUsername";
inline const std::string kABInstantMessageServiceAIM = "AIMInstant";
inline const std::string kABInstantMessageServiceQQ = "QQInstant";
inline const std::string kABInstantMessageServiceGoogleTalk = "GoogleTalkInstant";
inline const std::string kABInstantMessageServiceGaduGadu = "GaduGaduInstant";
inline const std::string kABInstantMessageServiceJabber = "JabberInstant";
inline const std::string kABInstantMessageServiceMSN = "MSNInstant";
inline const std::string kABInstantMessageServiceFacebook = "FacebookInstant";
inline const std::string kABInstantMessageServiceSkype = "SkypeInstant";
inline const std::string kABInstantMessageServiceYahoo = "YahooInstant";
inline const std::string kABInstantMessageServiceICQ = "ICQInstant";

// Social-profile dictionary keys and services.
inline const std::string kABSocialProfileServiceKey = "service";
inline const std::string kABSocialProfileUsernameKey = "username";
inline const std::string kABSocialProfileURLKey = "url";
inline const std::string kABSocialProfileServiceTwitter = "Twitter";
inline const std::string kABSocialProfileServiceFacebook = "Facebook";
inline const std::string kABSocialProfileServiceMySpace = "MySpace";
inline const std::string kABSocialProfileServiceFlickr = "Flickr";
inline const std::string kABSocialProfileServiceLinkedIn = "LinkedIn";

// Search comparison: exact, case-sensitive equality.
inline constexpr int kABEqual = 0;
