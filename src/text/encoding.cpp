#include "text/encoding.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

namespace dorvenk {
namespace {

struct Mapping {
  std::uint32_t code_point;
  std::uint16_t shift_jis;
};

// Code page 932 forms of the characters in the tool's texts, sorted by code
// point. Generated from the texts with a CP932 codec; a unit test walks
// every text and compares its bytes with the system's CP932 converter.
constexpr std::array<Mapping, 63> SHIFT_JIS_TABLE{{
    {0x3002, 0x8142},  // 。
    {0x3044, 0x82A2},  // い
    {0x304B, 0x82A9},  // か
    {0x304D, 0x82AB},  // き
    {0x3057, 0x82B5},  // し
    {0x3059, 0x82B7},  // す
    {0x305B, 0x82B9},  // せ
    {0x3063, 0x82C1},  // っ
    {0x3066, 0x82C4},  // て
    {0x3067, 0x82C5},  // で
    {0x306E, 0x82CC},  // の
    {0x306F, 0x82CD},  // は
    {0x307E, 0x82DC},  // ま
    {0x3092, 0x82F0},  // を
    {0x3093, 0x82F1},  // ん
    {0x30A1, 0x8340},  // ァ
    {0x30A4, 0x8343},  // イ
    {0x30B7, 0x8356},  // シ
    {0x30B9, 0x8358},  // ス
    {0x30BA, 0x8359},  // ズ
    {0x30BF, 0x835E},  // タ
    {0x30C3, 0x8362},  // ッ
    {0x30C7, 0x8366},  // デ
    {0x30C9, 0x8368},  // ド
    {0x30CE, 0x836D},  // ノ
    {0x30CF, 0x836E},  // ハ
    {0x30D5, 0x8374},  // フ
    {0x30D9, 0x8378},  // ベ
    {0x30E7, 0x8387},  // ョ
    {0x30EB, 0x838B},  // ル
    {0x30EC, 0x838C},  // レ
    {0x30FC, 0x815B},  // ー
    {0x4E86, 0x97B9},  // 了
    {0x5024, 0x926C},  // 値
    {0x504F, 0x95CE},  // 偏
    {0x50CF, 0x919C},  // 像
    {0x5224, 0x94BB},  // 判
    {0x5728, 0x8DDD},  // 在
    {0x5747, 0x8BCF},  // 均
    {0x5909, 0x95CF},  // 変
    {0x591A, 0x91BD},  // 多
    {0x5927, 0x91E5},  // 大
    {0x5B58, 0x91B6},  // 存
    {0x5B8C, 0x8AAE},  // 完
    {0x5B9A, 0x92E8},  // 定
    {0x5DEE, 0x8DB7},  // 差
    {0x5E73, 0x95BD},  // 平
    {0x5EA6, 0x9378},  // 度
    {0x63A8, 0x9084},  // 推
    {0x63DB, 0x8AB7},  // 換
    {0x6570, 0x9094},  // 数
    {0x6700, 0x8DC5},  // 最
    {0x6A19, 0x9557},  // 標
    {0x6B21, 0x8E9F},  // 次
    {0x6E96, 0x8F80},  // 準
    {0x7E2E, 0x8F6B},  // 縮
    {0x884C, 0x8D73},  // 行
    {0x89E3, 0x89F0},  // 解
    {0x9000, 0x91DE},  // 退
    {0x9078, 0x9149},  // 選
    {0x91CD, 0x8F64},  // 重
    {0xFF1F, 0x8148},  // ？
    {0xFF5E, 0x8160},  // ～
}};

// Decodes one UTF-8 sequence at `at`; returns its length (1 for a stray byte).
std::size_t decode(std::string_view text, std::size_t at, std::uint32_t& code_point) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at);
  std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (length == 1 || at + length > text.size()) {
    code_point = lead;
    return 1;
  }
  code_point = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) code_point = (code_point << 6) | (byte(at + i) & 0x3F);
  return length;
}

const Mapping* find(std::uint32_t code_point) {
  auto it = std::lower_bound(SHIFT_JIS_TABLE.begin(), SHIFT_JIS_TABLE.end(), code_point,
                             [](const Mapping& m, std::uint32_t c) { return m.code_point < c; });
  if (it == SHIFT_JIS_TABLE.end() || it->code_point != code_point) return nullptr;
  return &*it;
}

}  // namespace

void append_text(std::string& out, std::string_view utf8, Encoding encoding) {
  if (encoding == Encoding::utf8) {
    out.append(utf8);
    return;
  }
  for (std::size_t at = 0; at < utf8.size();) {
    if (static_cast<unsigned char>(utf8[at]) < 0x80) {
      out.push_back(utf8[at++]);
      continue;
    }
    std::uint32_t code_point;
    at += decode(utf8, at, code_point);
    if (const Mapping* m = find(code_point)) {
      out.push_back(static_cast<char>(m->shift_jis >> 8));
      out.push_back(static_cast<char>(m->shift_jis & 0xFF));
    } else {
      out.push_back('?');
    }
  }
}

bool shift_jis_covers(std::string_view utf8) {
  for (std::size_t at = 0; at < utf8.size();) {
    if (static_cast<unsigned char>(utf8[at]) < 0x80) {
      ++at;
      continue;
    }
    std::uint32_t code_point;
    at += decode(utf8, at, code_point);
    if (find(code_point) == nullptr) return false;
  }
  return true;
}

}  // namespace dorvenk
