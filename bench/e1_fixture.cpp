#include "bench.h"

#include "common/datetime.h"
#include "common/text.h"
#include "messages/serializer.h"

namespace vorla::bench {

const TE1InBean& e1_bean() {
    static const TE1InBean bean = [] {
        TE1InBean b;
        b.HEAD.VER = "1.0";
        b.HEAD.APP = "E1";
        b.HEAD.WorkDate = "20240131";
        b.MSG.HEAD.YLJGDM = "10010001";
        b.MSG.HEAD.YYLSH = "MZ20240131000123";
        b.MSG.HEAD.YBLSH = "YB202401310000456";
        for (int i = 0; i < 500; ++i) {
            TE1InDetail row;
            row.MXLSH = "MX" + std::to_string(100000 + i);
            row.XMBJ = i % 7 == 0 ? "1" : "0";
            row.YBXMDM = "XA01BAC" + std::to_string(1000 + i % 97) + "A001010101";
            row.BBH = "V" + std::to_string(i % 5);
            row.SFRQ = encode_date_time(2024, 1, 31, 9 + i % 8, i % 60, (i * 7) % 60);
            row.FYDJ = 12.5 + (i % 13) * 3.25;
            row.FYSL = 1 + i % 4;
            row.FYJE = row.FYDJ * row.FYSL;
            row.YBZFXD = gbk("限门诊使用");
            row.YSDM = "YS" + std::to_string(200 + i % 11);
            row.KSDM = "KS" + std::to_string(10 + i % 6);
            row.CFZXTS = std::to_string(1 + i % 7);
            row.CZYXM = gbk("收费员");
            row.CZRQ = encode_date_time(2024, 1, 31, 10, 0, 0);
            b.MSG.DETAIL.push_back(row);
        }
        return b;
    }();
    return bean;
}

const std::string& e1_document() {
    static const std::string document = write_bean(e1_bean());
    return document;
}

}  // namespace vorla::bench
