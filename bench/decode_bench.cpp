// Decoding throughput: the header reader, HTML-to-text and the whole decoding step, on
// ordinary Japanese mail texts and on inputs built to be slow (unfinished encoded words, '&'
// without ';'). bytes_per_second is input read; the hostile inputs must keep the pace of the
// ordinary ones at every size, which a quadratic step would not.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "mime/mime_decode.h"
#include "mime/mime_header_text.h"
#include "mime/mime_html_text.h"

namespace {

std::string repeated(std::string_view piece, std::size_t size) {
    std::string out;
    out.reserve(size + piece.size());
    while (out.size() < size) out.append(piece);
    return out;
}

// "日本語の件名 " as an ISO-2022-JP B word, the ordinary case.
constexpr std::string_view kOrdinaryWord = "=?ISO-2022-JP?B?GyRCRnxLXDhsJE43b0w+GyhC?= ";
constexpr std::string_view kUnfinishedWord = "=?a?B?AAAA";

void headerText(benchmark::State& state, std::string_view piece) {
    const std::string text = repeated(piece, static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(tsubame::decodeHeaderText(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void htmlText(benchmark::State& state, std::string_view piece) {
    const std::string html = repeated(piece, static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(tsubame::htmlToText(html));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * html.size()));
}

void wholeMail(benchmark::State& state, std::string_view headerPiece) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::string raw = "Subject: " + repeated(headerPiece, size / 2) +
                            "\r\nContent-Type: text/html; charset=utf-8\r\n\r\n" +
                            repeated("<p>&amp; &", size / 2) + "\r\n";
    const auto folder = std::filesystem::temp_directory_path() /
                        ("tsubame_decode_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    for (auto _ : state) {
        tsubame::DecodedMail out;
        std::string error;
        benchmark::DoNotOptimize(tsubame::decodeMailAndSaveAttachments(raw, folder, out, error));
    }
    std::filesystem::remove_all(folder);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * raw.size()));
}

constexpr std::int64_t kSmall = 64 << 10;
constexpr std::int64_t kLarge = 4 << 20;

BENCHMARK_CAPTURE(headerText, ordinary, kOrdinaryWord)->Range(kSmall, kLarge);
BENCHMARK_CAPTURE(headerText, unfinished_words, kUnfinishedWord)->Range(kSmall, kLarge);
BENCHMARK_CAPTURE(htmlText, ordinary, "<p>日本語の本文 &amp; text</p>")->Range(kSmall, kLarge);
BENCHMARK_CAPTURE(htmlText, ampersands, "&")->Range(kSmall, kLarge);
BENCHMARK_CAPTURE(wholeMail, ordinary, kOrdinaryWord)->Range(kSmall, kLarge);
BENCHMARK_CAPTURE(wholeMail, unfinished_words, kUnfinishedWord)->Range(kSmall, kLarge);

}  // namespace

BENCHMARK_MAIN();
