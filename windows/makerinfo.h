#pragma once
// The maker's names and addresses, kept in one place. The addresses lie under the reserved
// ".example" domain until the project has real ones; the panels' pages sit at the site root.

namespace quorvel::maker {

inline constexpr char kBrand[] = "Varnholt";
inline constexpr char kAuthorName[] = "韩思远";
inline constexpr char kOrganisationName[] = "Varnholt 软件工作室";
inline constexpr char kAuthorEmail[] = "hansiyuan@quorvel.example";
inline constexpr char kHomePage[] = "https://www.quorvel.example/";
inline constexpr char kOrganisationWebSite[] = "https://www.varnholt.example/";
// Pages of the side panels, at the root of the home page's site.
inline constexpr char kLeftPanelPage[] = "https://www.quorvel.example/bdownload.htm";
inline constexpr char kRightPanelPage[] = "https://www.quorvel.example/gdownload.htm";

}  // namespace quorvel::maker
