#include "net/oss_upload.h"

#include <gtest/gtest.h>

namespace kestrava::net {
namespace {

// The worked example of the service's V1 header signature documentation.
TEST(OssSignatureTest, ReproducesThePublishedExample) {
    const std::string toSign = OssStringToSign(
        "PUT", "ODBGOERFMDMzQTczRUY3NUE3NzA5QzdFNUYzMDQxNEM=", "text/html", "Thu, 17 Nov 2005 18:49:58 GMT",
        {{"X-OSS-Meta-Author", "foo@bar.com"}, {"X-OSS-Magic", "abracadabra"}}, "/oss-example/nelson");
    EXPECT_EQ(toSign,
              "PUT\nODBGOERFMDMzQTczRUY3NUE3NzA5QzdFNUYzMDQxNEM=\ntext/html\nThu, 17 Nov 2005 18:49:58 GMT\n"
              "x-oss-magic:abracadabra\nx-oss-meta-author:foo@bar.com\n/oss-example/nelson");
    EXPECT_EQ(OssAuthorization("44CF9590006BF252F707", "OtxrzxIsfpFjA7SwPzILwy8Bw21TLhquhboDYROV", toSign),
              "OSS 44CF9590006BF252F707:26NBxoKdsyly4EDv6inkoDft/yA=");
}

TEST(OssSignatureTest, FormatsTheDateInGmt) {
    EXPECT_EQ(HttpDate(1132253398), "Thu, 17 Nov 2005 18:49:58 GMT");
    EXPECT_EQ(HttpDate(1704067200), "Mon, 01 Jan 2024 00:00:00 GMT");
}

TEST(OssSignatureTest, NamesObjectsAfterTheFileName) {
    struct Case {
        const char* path;
        char separator;
        const char* key;
    };
    const Case cases[] = {
        {".\\Log\\12345678_2026-12-10.log_2026-12-10_11-30-05", '\\', "yourObjectName/12345678_2026-12-10.log_2026-12-10_11-30-05"},
        {"./Log/12345678_2026-12-10_ie.log", '\\', "yourObjectName/12345678_2026-12-10_ie.log"},
        {".//ScreenShot//del1//samples//12345678_BidFinal.jpg", '/', "yourObjectName/12345678_BidFinal.jpg"},
        {"plain.jpg", '/', "yourObjectName/plain.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ObjectKeyFor(c.path, c.separator), c.key);
    }
    EXPECT_EQ(JpegPathFor("./ScreenShot/del1/samples/a.bmp"), "./ScreenShot/del1/samples/a.jpg");
    EXPECT_EQ(JpegPathFor("./a.jpg"), "./a.jpg");
}

TEST(OssSignatureTest, ReadsTheServiceErrorDocument) {
    const PutObjectOutcome o = ParseOssError(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Error>\n  <Code>AccessDenied</Code>\n"
        "  <Message>You have no right to access this object.</Message>\n"
        "  <RequestId>5C3D9175B6FC201293AD****</RequestId>\n  <HostId>b.oss-cn-hangzhou.aliyuncs.com</HostId>\n</Error>");
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.code, "AccessDenied");
    EXPECT_EQ(o.message, "You have no right to access this object.");
    EXPECT_EQ(o.requestId, "5C3D9175B6FC201293AD****");
    EXPECT_EQ(ParseOssError("not xml").code, "");
}

}  // namespace
}  // namespace kestrava::net
