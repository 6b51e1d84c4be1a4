#include "platform/failure_reason.h"

#include <gtest/gtest.h>

TEST(FailureReasonTest, AnEmptyReasonNamesTheFailingStep) {
    struct Case {
        const char* reason;
        const char* text;
    };
    const Case cases[] = {{"disk full", "x: disk full"},
                          {"  no such file \n", "x: no such file"},
                          {"", "x: copying the file failed"},
                          {" \t\r\n", "x: copying the file failed"}};
    for (const Case& test : cases) {
        EXPECT_EQ(nimbara::failureText("x", test.reason, "copying the file"), test.text)
            << test.reason;
    }
}
