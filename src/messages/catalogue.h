// The message records of every business type whose documents the library reads
// or writes. Fields are listed in declared order, which is the order in which
// the serializer writes them. Business types that are only relayed have none.
//
// Names: T + business type + InHead/OutHead (message head), InDetail/OutDetail
// (row), InMsg/OutMsg (message part), InDetails/OutDetails (row list) and
// InBean/OutBean (the whole document).
#pragma once

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "common/datetime.h"
#include "messages/beans.h"

// Inside a record: descriptor of member Name, whose element is named alike.
#define VORLA_F(Name) VORLA_FIELD(Self, Name)

namespace vorla {

// ---- J1 and J8: card reading ---------------------------------------------------

struct TJ1InHead {
    using Self = TJ1InHead;
    std::string PWD;  // "0": the card holder enters the card PIN
    static constexpr auto fields() { return std::tuple{VORLA_F(PWD)}; }
};

struct TJ1OutHead {
    using Self = TJ1OutHead;
    std::string DKLX;   // card type code of the card that was read
    std::string SBKID;  // card identifier
    std::string SBKH;   // social security card number
    DateValue FKRQ;     // card issue date (date-time)
    std::string SFZH;   // identity card number
    std::string RYXM;   // name
    std::string RYXB;   // sex code
    DateValue CSRQ;     // birth date (date)
    static constexpr auto fields() {
        return std::tuple{VORLA_F(DKLX), VORLA_F(SBKID), VORLA_F(SBKH), VORLA_F(FKRQ),
                          VORLA_F(SFZH), VORLA_F(RYXM),  VORLA_F(RYXB), VORLA_F(CSRQ)};
    }
};

// J8 shares J1's records.
using TJ8InHead = TJ1InHead;
using TJ8OutHead = TJ1OutHead;

// ---- J2 and I1: insured-person query ---------------------------------------------

struct TJ2InHead {
    using Self = TJ2InHead;
    std::string YLJGDM;
    std::string JYRQ;
    std::string MZZYBZ;
    std::string ZXBXBZ;
    std::string ZHCXBZ;
    std::string DKXXBZ;  // "99": no settlement choices dialog
    std::string PWD;     // PIN switch
    std::string FROM;    // caller tag
    static constexpr auto fields() {
        return std::tuple{VORLA_F(YLJGDM), VORLA_F(JYRQ),   VORLA_F(MZZYBZ), VORLA_F(ZXBXBZ),
                          VORLA_F(ZHCXBZ), VORLA_F(DKXXBZ), VORLA_F(PWD),    VORLA_F(FROM)};
    }
};

struct TJ2OutHead {
    using Self = TJ2OutHead;
    std::string YLJGDM;
    std::string SHBZH;  // social security number
    std::string SBKH;   // social security card number
    std::string SFZH;   // identity card number
    std::string RYXM;   // name
    std::string RYXB;   // sex code
    std::string RYMZ;
    DateValue CSRQ;     // birth date (date)
    std::string RYZW;   // administrative post
    std::string ICKZT;  // card status
    std::string YHDM;   // bank of the financial account
    std::string YHKH;   // bank card number
    static constexpr auto fields() {
        return std::tuple{VORLA_F(YLJGDM), VORLA_F(SHBZH), VORLA_F(SBKH),  VORLA_F(SFZH),
                          VORLA_F(RYXM),   VORLA_F(RYXB),  VORLA_F(RYMZ),  VORLA_F(CSRQ),
                          VORLA_F(RYZW),   VORLA_F(ICKZT), VORLA_F(YHDM),  VORLA_F(YHKH)};
    }
};

// One row per insurance type of the person.
struct TJ2OutDetail {
    using Self = TJ2OutDetail;
    std::string JBJGDM;  // handling agency
    std::string XZDM;    // insurance type, "code^name"
    DateValue CBRQ;      // enrolment date (date)
    std::string CBZT;    // status of the insurance type
    std::string DWDM;    // employer code
    std::string DWMC;    // employer name
    std::string KHYH;    // bank of the insurance account
    std::string YHZH;    // insurance bank account
    double GRZHYE = 0;   // account balance
    std::string DYLB;    // benefit category
    std::string YBSF;    // person category
    std::string JYXK;    // treatment permit
    std::string WXYY;    // reason of invalidity
    std::string JSJGDM;  // settlement institution, "code^name"
    std::string YLLB;    // medical categories open to this insurance type
    std::string JBMC;    // diseases
    std::string YBXX;    // additional information and medical information list
    static constexpr auto fields() {
        return std::tuple{VORLA_F(JBJGDM), VORLA_F(XZDM), VORLA_F(CBRQ),   VORLA_F(CBZT),
                          VORLA_F(DWDM),   VORLA_F(DWMC), VORLA_F(KHYH),   VORLA_F(YHZH),
                          VORLA_F(GRZHYE), VORLA_F(DYLB), VORLA_F(YBSF),   VORLA_F(JYXK),
                          VORLA_F(WXYY),   VORLA_F(JSJGDM), VORLA_F(YLLB), VORLA_F(JBMC),
                          VORLA_F(YBXX)};
    }
};

struct TI1InHead {
    using Self = TI1InHead;
    std::string YLJGDM;
    std::string DKLX;
    std::string SBKID;
    std::string SBKH;
    std::string FKRQ;
    std::string SFZH;
    std::string RYXM;
    std::string JYRQ;
    std::string MZZYBZ;
    std::string ZXBXBZ;
    std::string ZHCXBZ;
    std::string PRV1;
    std::string PRV2;
    std::string PRV3;
    static constexpr auto fields() {
        return std::tuple{VORLA_F(YLJGDM), VORLA_F(DKLX),   VORLA_F(SBKID),  VORLA_F(SBKH),
                          VORLA_F(FKRQ),   VORLA_F(SFZH),   VORLA_F(RYXM),   VORLA_F(JYRQ),
                          VORLA_F(MZZYBZ), VORLA_F(ZXBXBZ), VORLA_F(ZHCXBZ), VORLA_F(PRV1),
                          VORLA_F(PRV2),   VORLA_F(PRV3)};
    }
};

// The J2 answer head's fields, every one text, so that the center's texts pass unchanged.
struct TI1OutHead {
    using Self = TI1OutHead;
    std::string YLJGDM;
    std::string SHBZH;
    std::string SBKH;
    std::string SFZH;
    std::string RYXM;
    std::string RYXB;
    std::string RYMZ;
    std::string CSRQ;
    std::string RYZW;
    std::string ICKZT;
    std::string YHDM;
    std::string YHKH;
    static constexpr auto fields() {
        return std::tuple{VORLA_F(YLJGDM), VORLA_F(SHBZH), VORLA_F(SBKH),  VORLA_F(SFZH),
                          VORLA_F(RYXM),   VORLA_F(RYXB),  VORLA_F(RYMZ),  VORLA_F(CSRQ),
                          VORLA_F(RYZW),   VORLA_F(ICKZT), VORLA_F(YHDM),  VORLA_F(YHKH)};
    }
};

// The J2 row's fields, every one text.
struct TI1OutDetail {
    using Self = TI1OutDetail;
    std::string JBJGDM;
    std::string XZDM;
    std::string CBRQ;
    std::string CBZT;
    std::string DWDM;
    std::string DWMC;
    std::string KHYH;
    std::string YHZH;
    std::string GRZHYE;
    std::string DYLB;
    std::string YBSF;
    std::string JYXK;
    std::string WXYY;
    std::string JSJGDM;
    std::string YLLB;
    std::string JBMC;
    std::string YBXX;
    static constexpr auto fields() {
        return std::tuple{VORLA_F(JBJGDM), VORLA_F(XZDM), VORLA_F(CBRQ),   VORLA_F(CBZT),
                          VORLA_F(DWDM),   VORLA_F(DWMC), VORLA_F(KHYH),   VORLA_F(YHZH),
                          VORLA_F(GRZHYE), VORLA_F(DYLB), VORLA_F(YBSF),   VORLA_F(JYXK),
                          VORLA_F(WXYY),   VORLA_F(JSJGDM), VORLA_F(YLLB), VORLA_F(JBMC),
                          VORLA_F(YBXX)};
    }
};

// ---- J4: local address -------------------------------------------------------------

struct TJ4InHead {
    using Self = TJ4InHead;
    std::string YLJGDM;
    static constexpr auto fields() { return std::tuple{VORLA_F(YLJGDM)}; }
};

struct TJ4OutHead {
    using Self = TJ4OutHead;
    std::string IP;  // the workstation's address
    static constexpr auto fields() { return std::tuple{VORLA_F(IP)}; }
};

// ---- J9: invoice -------------------------------------------------------------------

struct TJ9InHead {
    using Self = TJ9InHead;
    std::string YLJGDM;
    std::string YYLSH;    // the hospital's serial number
    std::string YBLSH;    // the insurance center's settlement serial number
    std::string TFBZ;
    std::string DISPLAY;  // "0": print without preview
    static constexpr auto fields() {
        return std::tuple{VORLA_F(YLJGDM), VORLA_F(YYLSH), VORLA_F(YBLSH), VORLA_F(TFBZ),
                          VORLA_F(DISPLAY)};
    }
};

struct TJ9OutHead {
    using Self = TJ9OutHead;
    std::string YLJGDM;
    std::string YYLSH;
    std::string YBLSH;
    std::string TFBZ;
    static constexpr auto fields() {
        return std::tuple{VORLA_F(YLJGDM), VORLA_F(YYLSH), VORLA_F(YBLSH), VORLA_F(TFBZ)};
    }
};

// ---- J10: file upload --------------------------------------------------------------

struct TJ10InHead {
    using Self = TJ10InHead;
    std::string YLJGDM;
    std::string POSTURL;   // upload address
    std::string FILENAME;  // path of the file to upload
    std::string NAME;      // name sent with the file
    static constexpr auto fields() {
        return std::tuple{VORLA_F(YLJGDM), VORLA_F(POSTURL), VORLA_F(FILENAME), VORLA_F(NAME)};
    }
};

struct TJ10OutHead {
    using Self = TJ10OutHead;
    std::string URL;  // where the endpoint stored the file
    static constexpr auto fields() { return std::tuple{VORLA_F(URL)}; }
};

// ---- J11: generic business ---------------------------------------------------------

struct TJ11InHead {
    using Self = TJ11InHead;
    std::string YLJGDM;
    std::string BIZ;  // sub-function
    std::string V1;   // the code to resolve (BIZ001)
    std::string V2;
    std::string V3;
    std::string V4;
    std::string V5;
    std::string V6;
    std::string V7;
    std::string V8;
    std::string V9;
    std::string V10;
    std::int32_t INT1 = 0;
    std::int32_t INT2 = 0;
    std::int32_t INT3 = 0;
    std::int32_t INT4 = 0;
    std::int32_t INT5 = 0;
    static constexpr auto fields() {
        return std::tuple{VORLA_F(YLJGDM), VORLA_F(BIZ),  VORLA_F(V1),   VORLA_F(V2),   VORLA_F(V3),
                          VORLA_F(V4),     VORLA_F(V5),   VORLA_F(V6),   VORLA_F(V7),   VORLA_F(V8),
                          VORLA_F(V9),     VORLA_F(V10),  VORLA_F(INT1), VORLA_F(INT2), VORLA_F(INT3),
                          VORLA_F(INT4),   VORLA_F(INT5)};
    }
};

// ---- D1: registration --------------------------------------------------------------

struct TD1InHead {
    using Self = TD1InHead;
    std::string YLJGDM;
    std::string YYLSH;   // the hospital's serial number of the visit
    std::string SHBZH;   // social security number
    std::string SBKH;    // social security card number
    std::string SFZH;    // identity card number
    std::string RYXM;    // name
    DateValue CSRQ;      // birth date (date)
    std::string MZZYBZ;  // "0": stored by the interceptor
    std::string PRV1;
    std::string PRV2;
    std::string PRV3;
    std::string XZDM;    // insurance type
    std::string YLLB;    // medical category
    DateValue RYRQ;      // admission date (date-time)
    std::string RYZDBM;  // admission diagnosis code
    std::string RYZDMC;  // admission diagnosis name
    std::int32_t KSDM = 0;  // department code
    std::string YSDM;    // doctor code
    std::string CWHM;
    std::string BZBM;    // diagnosis codes separated by ","
    std::string XBS;
    std::string LXZYBZ;
    std::string ZYHM;
    std::string CZYXM;   // operator's name
    DateValue CZRQ;      // date-time
    static constexpr auto fields() {
        return std::tuple{VORLA_F(YLJGDM), VORLA_F(YYLSH),  VORLA_F(SHBZH),  VORLA_F(SBKH),
                          VORLA_F(SFZH),   VORLA_F(RYXM),   VORLA_F(CSRQ),   VORLA_F(MZZYBZ),
                          VORLA_F(PRV1),   VORLA_F(PRV2),   VORLA_F(PRV3),   VORLA_F(XZDM),
                          VORLA_F(YLLB),   VORLA_F(RYRQ),   VORLA_F(RYZDBM), VORLA_F(RYZDMC),
                          VORLA_F(KSDM),   VORLA_F(YSDM),   VORLA_F(CWHM),   VORLA_F(BZBM),
                          VORLA_F(XBS),    VORLA_F(LXZYBZ), VORLA_F(ZYHM),   VORLA_F(CZYXM),
                          VORLA_F(CZRQ)};
    }
};

struct TD1OutHead {
    using Self = TD1OutHead;
    std::string YBLSH;  // the insurance center's serial number of the registration
    static constexpr auto fields() { return std::tuple{VORLA_F(YBLSH)}; }
};

// ---- E1: fee details ---------------------------------------------------------------

struct TE1InHead {
    using Self = TE1InHead;
    std::string YLJGDM;
    std::string YYLSH;
    std::string YBLSH;
    static constexpr auto fields() { return std::tuple{VORLA_F(YLJGDM), VORLA_F(YYLSH), VORLA_F(YBLSH)}; }
};

struct TE1InDetail {
    using Self = TE1InDetail;
    std::string MXLSH;
    std::string XMBJ;    // item tag
    std::string YBXMDM;  // insurance item code
    std::string BBH;
    DateValue SFRQ;      // date-time
    double FYDJ = 0;     // unit price
    double FYSL = 0;     // quantity
    double FYJE = 0;     // amount
    std::string YBZFXD;
    std::string CYFFBZ;
    std::string YSDM;    // doctor code
    std::string KSDM;    // department code
    std::string CFZXTS;
    std::string WCFBZ;
    std::string CGPCH;
    std::string JZFBZ;
    std::string CZYXM;   // operator's name
    DateValue CZRQ;      // date-time
    std::string TFBZ;
    std::string OLDMXLSH;
    std::string PRV1;
    std::string PRV2;
    std::string PRV3;
    static constexpr auto fields() {
        return std::tuple{VORLA_F(MXLSH),  VORLA_F(XMBJ),  VORLA_F(YBXMDM), VORLA_F(BBH),
                          VORLA_F(SFRQ),   VORLA_F(FYDJ),  VORLA_F(FYSL),   VORLA_F(FYJE),
                          VORLA_F(YBZFXD), VORLA_F(CYFFBZ), VORLA_F(YSDM),  VORLA_F(KSDM),
                          VORLA_F(CFZXTS), VORLA_F(WCFBZ), VORLA_F(CGPCH),  VORLA_F(JZFBZ),
                          VORLA_F(CZYXM),  VORLA_F(CZRQ),  VORLA_F(TFBZ),   VORLA_F(OLDMXLSH),
                          VORLA_F(PRV1),   VORLA_F(PRV2),  VORLA_F(PRV3)};
    }
};

struct TE1OutHead {
    using Self = TE1OutHead;
    std::string YLJGDM;
    std::string YBLSH;
    static constexpr auto fields() { return std::tuple{VORLA_F(YLJGDM), VORLA_F(YBLSH)}; }
};

// ---- F1: settlement ----------------------------------------------------------------

struct TF1InHead {
    using Self = TF1InHead;
    std::string YLJGDM;
    std::string YYLSH;   // the hospital's serial number of the visit
    std::string YBLSH;   // the insurance center's serial number of the registration
    std::string FPHM;
    std::string SHBZH;   // social security number
    DateValue JSRQ;      // date-time
    std::int32_t ZYTS = 0;
    DateValue CYRQ;      // date-time
    std::string CYYY;
    std::string CYZDBM;  // discharge diagnosis code
    std::string CYZDMC;  // discharge diagnosis name
    std::string ZTJSBZ;
    std::string ZHZFBZ;
    std::string ZYHM;
    std::string CZYXM;   // operator's name
    DateValue CZRQ;      // date-time
    std::string PRV1;
    std::string PRV2;
    std::string PRV3;
    static constexpr auto fields() {
        return std::tuple{VORLA_F(YLJGDM), VORLA_F(YYLSH),  VORLA_F(YBLSH),  VORLA_F(FPHM),
                          VORLA_F(SHBZH),  VORLA_F(JSRQ),   VORLA_F(ZYTS),   VORLA_F(CYRQ),
                          VORLA_F(CYYY),   VORLA_F(CYZDBM), VORLA_F(CYZDMC), VORLA_F(ZTJSBZ),
                          VORLA_F(ZHZFBZ), VORLA_F(ZYHM),   VORLA_F(CZYXM),  VORLA_F(CZRQ),
                          VORLA_F(PRV1),   VORLA_F(PRV2),   VORLA_F(PRV3)};
    }
};

// ---- row lists, message parts and beans ------------------------------------------------

using TJ2OutDetails = std::vector<TJ2OutDetail>;
using TI1OutDetails = std::vector<TI1OutDetail>;
using TE1InDetails = std::vector<TE1InDetail>;

using TJ1InMsg = BeanMsg<TJ1InHead>;
using TJ1OutMsg = BeanMsg<TJ1OutHead>;
using TJ2InMsg = BeanMsg<TJ2InHead>;
using TJ2OutMsg = BeanMsg<TJ2OutHead, TJ2OutDetail>;
using TJ4InMsg = BeanMsg<TJ4InHead>;
using TJ4OutMsg = BeanMsg<TJ4OutHead>;
using TJ8InMsg = BeanMsg<TJ8InHead>;
using TJ8OutMsg = BeanMsg<TJ8OutHead>;
using TJ9InMsg = BeanMsg<TJ9InHead>;
using TJ9OutMsg = BeanMsg<TJ9OutHead>;
using TJ10InMsg = BeanMsg<TJ10InHead>;
using TJ10OutMsg = BeanMsg<TJ10OutHead>;
using TJ11InMsg = BeanMsg<TJ11InHead>;
using TI1InMsg = BeanMsg<TI1InHead>;
using TI1OutMsg = BeanMsg<TI1OutHead, TI1OutDetail>;
using TD1InMsg = BeanMsg<TD1InHead>;
using TD1OutMsg = BeanMsg<TD1OutHead>;
using TE1InMsg = BeanMsg<TE1InHead, TE1InDetail>;
using TE1OutMsg = BeanMsg<TE1OutHead>;
using TF1InMsg = BeanMsg<TF1InHead>;

using TJ1InBean = Bean<TJ1InHead>;  // also J0's request
using TJ1OutBean = Bean<TJ1OutHead>;
using TJ2InBean = Bean<TJ2InHead>;
using TJ2OutBean = Bean<TJ2OutHead, TJ2OutDetail>;
using TJ4InBean = Bean<TJ4InHead>;
using TJ4OutBean = Bean<TJ4OutHead>;
using TJ8InBean = Bean<TJ8InHead>;
using TJ8OutBean = Bean<TJ8OutHead>;
using TJ9InBean = Bean<TJ9InHead>;
using TJ9OutBean = Bean<TJ9OutHead>;
using TJ10InBean = Bean<TJ10InHead>;
using TJ10OutBean = Bean<TJ10OutHead>;
using TJ11InBean = Bean<TJ11InHead>;
using TI1InBean = Bean<TI1InHead>;
using TI1OutBean = Bean<TI1OutHead, TI1OutDetail>;
using TD1InBean = Bean<TD1InHead>;
using TD1OutBean = Bean<TD1OutHead>;
using TE1InBean = Bean<TE1InHead, TE1InDetail>;
using TE1OutBean = Bean<TE1OutHead>;
using TF1InBean = Bean<TF1InHead>;

}  // namespace vorla

#undef VORLA_F
