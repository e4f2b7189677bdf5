// Shared pieces of the benchmarks: the pairs whose time ratio is reported.
#pragma once

namespace vorla::bench {

// Names of the benchmarks (as registered) compared by the report.
inline constexpr const char* kRelay = "BM_RelayThroughInvoke";
inline constexpr const char* kRelayOrgIdSet = "BM_RelayThroughInvokeOrgIdSet";
inline constexpr const char* kBareCurl = "BM_BareCurlPost";
inline constexpr const char* kPackUnpack = "BM_PackUnpackE1";
inline constexpr const char* kRawZlibBase64 = "BM_RawZlibBase64E1";

inline constexpr const char* kStoreE1 = "BM_StoreE1Details";
inline constexpr const char* kRawSqliteE1 = "BM_RawSqliteE1Details";

inline constexpr double kRelayTarget = 1.10;
inline constexpr double kStoreTarget = 1.2;
inline constexpr double kPackingTarget = 1.2;

}  // namespace vorla::bench
