// A NoticeSink that keeps every notice and question in order and answers questions as scripted.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "session/notice_sink.h"

namespace torvane::test {

struct Shown {
    std::string Text;
    NoticeIcon Icon = NoticeIcon::None;
    bool Question = false;
};

class RecordingSink : public NoticeSink {
public:
    void Notice(const std::string& text, NoticeIcon icon) override {
        shown.push_back({text, icon, false});
    }
    bool Confirm(const std::string& text) override {
        shown.push_back({text, NoticeIcon::Question, true});
        if (answers.empty()) return true;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const Shown& s : shown) out.push_back(s.Text);
        return out;
    }

    std::vector<Shown> shown;
    std::deque<bool> answers;  // answers to Confirm, in order; true when none is left
};

}  // namespace torvane::test
