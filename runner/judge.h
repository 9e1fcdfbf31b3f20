#ifndef TELVAR_RUNNER_JUDGE_H
#define TELVAR_RUNNER_JUDGE_H

// Judging a step's reply against its expectation, as the bytes come in.

#include "runner/plan.h"

namespace Runner {

struct Judgement
{
    enum class Decision { Undecided, Pass, Fail };
    Decision decision = Decision::Undecided;
    QString message; // on failure: what was expected and what came
};

// `final`: the expectation's time is up. Before that a judgement is made
// only when more bytes could not change it (the text found, the hex bytes
// all there, the first byte for bits); "count" and "none" wait for the end.
Judgement judge(const Expectation &expect, const QByteArray &reply, bool final);

// The first bytes of a reply for a report line: hex, then the printable
// text in quotes: 56 31 2E 32 "V1.2". Empty for no reply.
QString replyPreview(const QByteArray &reply, int bytes = 16);

} // namespace Runner

#endif
