#pragma once

#include "transfer/codepage.h"

#include <gtest/gtest.h>

#include <optional>

// A code page the test needs; a missing one fails the test and UTF-8 stands
// in, so that the test still runs to its end.
inline quorlink::transfer::CodePage namedCodePage(const char* name)
{
    using quorlink::transfer::CodePage;
    std::optional<CodePage> page = CodePage::named(name);
    if (!page)
        ADD_FAILURE() << "code page " << name << " is not available";
    return page ? *page : *CodePage::named("UTF-8");
}
