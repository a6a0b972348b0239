// Every text of the status bar and of the progress dialog, exactly as the
// user reads it. Counts are written here, not by wide printf (see decimal.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zw::view {

inline constexpr std::u16string_view kStatusReady = u"준비";
inline constexpr std::u16string_view kStatusChooseDrives =
    u"드라이브를 선택하세요 (메뉴 → 드라이브 선택)";
inline constexpr std::u16string_view kStatusIndexing = u"인덱싱 중...";
// A double click that starts nothing, and why.
inline constexpr std::u16string_view kStatusOpenAlteredPath =
    u"열지 않음: Windows가 다른 파일로 읽는 이름입니다";
inline constexpr std::u16string_view kStatusOpenNoUserShell =
    u"열지 않음: 사용자 권한으로 열어 줄 탐색기 셸이 없습니다";
inline constexpr std::u16string_view kStatusOpenPathCut =
    u"열지 않음: 폴더가 너무 깊어 전체 경로를 알 수 없습니다";
inline constexpr std::u16string_view kStatusCopyFailed = u"경로를 복사하지 못했습니다";
// A search that ran out of memory: no count, the list stays as it was.
inline constexpr std::u16string_view kStatusSearchFailed = u"검색 실패";

// "D: 1회성 스캔 중... 120000개 레코드"
std::u16string ScanProgressText(char16_t drive, uint64_t records);
// "D: 완료 - 총 4200개 항목"
std::u16string DriveIndexedText(char16_t drive, uint64_t entries);
// "인덱싱 완료: 4200개 항목 - 목록 준비 중..."
std::u16string IndexingDoneText(uint64_t entries);
// "4200개 항목"
std::u16string ItemCountText(uint64_t items);

// What the status line holds: 127 units and the terminator.
inline constexpr size_t kStatusTextCapacity = 128;
// "열 수 없습니다: D:\a\b.txt", the path as names are shown (shown_text.h),
// cut with "…" to fit kStatusTextCapacity, never inside an escape or a
// surrogate pair.
std::u16string OpenFailedText(std::u16string_view path);

// The progress dialog: "D: 드라이브 스캔 중... 120000개 레코드"
std::u16string DialogProgressText(char16_t drive, uint64_t records);
inline constexpr std::u16string_view kDialogScanning = u"드라이브 스캔 중...";
inline constexpr std::u16string_view kDialogCancelling = u"취소 중...";

}  // namespace zw::view
