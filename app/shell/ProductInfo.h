#pragma once

// The product's name and the two pages it points its users to. The pages ship with the application
// (share/rolvane); replace these addresses with web addresses when the product has a site.
namespace ProductInfo {

inline constexpr const char* kProductName = "Varnok Rolvane";
inline constexpr const char* kCopyright = "Copyright \u00a9 2026 The Varnok Rolvane developers. All rights reserved.";
// A file name is looked up among the shipped documents; anything with a scheme is opened as it is.
inline constexpr const char* kProductPage = "product.html";
inline constexpr const char* kSupportPage = "support.html";

}  // namespace ProductInfo
