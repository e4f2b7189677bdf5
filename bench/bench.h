// Shared pieces of the benchmarks: the 500-row E1 fixture and the names of the
// benchmarks that the report compares with their targets.
#pragma once

#include <string>

#include "messages/catalogue.h"

namespace vorla::bench {

// An E1 request with 500 fee details, as a bean and as the document the
// serializer writes for it (GBK).
const TE1InBean& e1_bean();
const std::string& e1_document();

// Names of the benchmarks (as registered) that the report reads.
inline constexpr const char* kRelay = "BM_RelayThroughInvoke";
inline constexpr const char* kRelayOrgIdSet = "BM_RelayThroughInvokeOrgIdSet";
inline constexpr const char* kBareCurl = "BM_BareCurlPost";
inline constexpr const char* kPackUnpack = "BM_PackUnpackE1";
inline constexpr const char* kRawZlibBase64 = "BM_RawZlibBase64E1";
inline constexpr const char* kStoreE1 = "BM_StoreE1Details";
inline constexpr const char* kRawSqliteE1 = "BM_RawSqliteE1Details";
inline constexpr const char* kSerializerE1 = "BM_SerializerWriteReadE1";
inline constexpr const char* kPugixmlE1 = "BM_PugixmlParsePrintE1";
inline constexpr const char* kReadWithoutRootEnd = "BM_ReadDocumentWithoutRootEndTag";
inline constexpr const char* kReadWithRootEnd = "BM_ReadDocumentWithRootEndTag";
inline constexpr const char* kJ4 = "BM_J4ThroughInvoke";
inline constexpr const char* kResidentMemory = "BM_ResidentMemoryOver100000Calls";

// Counters the report reads.
inline constexpr const char* kHttpPerCall = "http_per_call";
inline constexpr const char* kRssGrowthMiB = "rss_growth_mib";

}  // namespace vorla::bench
