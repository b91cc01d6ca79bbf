#pragma once

#include <QString>

namespace practice {

// The pages a window shows for the practice logic: the banner, the study page
// and the test page (showtm's atype names the last two). Each window maps them
// to widgets of its own.
enum Page
{
    BannerPage = 0,
    StudyPage = 1,
    TestPage = 2
};

// What the practice logic needs from a window. The main window implements it;
// tests can implement it without any widgets.
class Frontend
{
public:
    virtual ~Frontend() = default;

    // Replaces the text on the study or the test page: on the study page the
    // question with its answer line below it, on the test page the question.
    virtual void setQuestionText(Page page, const QString &text) = 0;
    virtual void setProgressText(Page page, const QString &text) = 0;
    virtual void setFeedbackText(const QString &text) = 0;
    virtual void showPage(Page page) = 0;
    // A modal notice; returns when the user has dismissed it.
    virtual void showInfo(const QString &text) = 0;
};

// Shows nothing: for running the practice logic where there is no window.
class SilentFrontend : public Frontend
{
public:
    void setQuestionText(Page, const QString &) override {}
    void setProgressText(Page, const QString &) override {}
    void setFeedbackText(const QString &) override {}
    void showPage(Page) override {}
    void showInfo(const QString &) override {}
};

} // namespace practice
