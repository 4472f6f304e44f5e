#pragma once

#include <QString>

#include <optional>

// What one answer of a controller means for its queue item, decided without
// any widget; the download engine turns it into the item's shown fields and
// the next step.
struct AnswerOutcome
{
    enum Action { RequestNext, Complete, Fail };
    enum Failure {
        NoFailure,
        WrongAnswer,
        WrongArea,
        EmptyAnswer,
        InvalidConfigSize,
        DataTooLarge
    };
    enum LoadedText { NoLoadedText, Blocks, Bytes };
    enum TypeText { NoTypeText, Adapter, HeaderType };

    Action action = RequestNext;
    Failure failure = NoFailure;
    // With Fail: tried again after the usual delay instead of given up at once.
    bool retryable = false;

    LoadedText loadedText = NoLoadedText;
    qint64 loadedValue = 0;

    TypeText typeText = NoTypeText;
    QString headerType; // with HeaderType

    // The progress bar's range 0..barMaximum and its value, where they change.
    std::optional<int> barMaximum;
    std::optional<int> barValue;

    static AnswerOutcome completed()
    {
        AnswerOutcome out;
        out.action = Complete;
        return out;
    }

    static AnswerOutcome failed(Failure failure)
    {
        AnswerOutcome out;
        out.action = Fail;
        out.failure = failure;
        return out;
    }

    // An answer the item cannot use now, but a later one may: for a later
    // position than asked, and for the third answer in a row that added nothing.
    void failRetryable()
    {
        action = Fail;
        failure = WrongAnswer;
        retryable = true;
    }
};
