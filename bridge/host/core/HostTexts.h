// The host's own texts for the person and the page: Traditional Chinese like
// the control's messages. {origin} stands for the origin; {value} for a
// policy value's name.
#pragma once
#include <string>
#include <string_view>

namespace qelt::bridge::text {

constexpr const char* kNotAnOrigin = "來源 {origin} 不是可以使用憑證IC卡的網站";
constexpr const char* kBlocked = "網站 {origin} 已被系統管理員的原則禁止使用憑證IC卡";
constexpr const char* kNotAllowed = "網站 {origin} 未獲系統管理員的原則允許使用憑證IC卡";
constexpr const char* kPolicyUnreadable = "系統管理員的原則 {value} 無法讀取，網站 {origin} 不能使用憑證IC卡";
constexpr const char* kFrameNotAdmitted = "網站 {origin} 在頁框中使用憑證IC卡，須先由原則允許或經您在最上層頁面同意";
constexpr const char* kPersonRefused = "您已拒絕網站 {origin} 使用憑證IC卡";
constexpr const char* kBlockedEntryInvalid =
    "系統管理員的原則 BlockedOrigins 的項目「{value}」無法辨識，網站 {origin} 不能使用憑證IC卡";
constexpr const char* kNeedsActivation =
    "網站 {origin} 須由您按下網頁上的按鈕，才能要求使用憑證IC卡：請使用網頁本身的按鈕";
constexpr const char* kProxyManaged = "代理伺服器由系統管理員設定，網頁不能變更或讀取其帳號密碼";
// PIN operations refused before the dialog.
constexpr const char* kPinBusy = "已有一項需要輸入PIN碼的作業在等待中，請先完成或取消它";
constexpr const char* kPinFrame = "網站 {origin} 在頁框中不能要求輸入PIN碼，須在最上層頁面";
constexpr const char* kPinActivation =
    "網站 {origin} 須由您按下網頁上的按鈕，才能要求輸入PIN碼：請使用網頁本身的按鈕";
constexpr const char* kSigningNotAllowed = "網站 {origin} 未獲系統管理員的原則允許以憑證IC卡登入或簽章";
constexpr const char* kPinFromPagesOff =
    "系統管理員的原則規定PIN碼只在QELTReader的對話方塊中輸入，網頁不能傳入PIN碼";
// The PIN dialog's ends.
constexpr const char* kPinCancelled = "您已取消輸入PIN碼";
constexpr const char* kPinTimeout = "PIN碼未在時限內輸入";
constexpr const char* kNoAnswer = "網站 {origin} 要求使用憑證IC卡，但未在時限內獲得回覆";
constexpr const char* kBoxTitle = "QELTReader";
// {host}: the site's host name, on a line of its own above the full origin,
// so a look-alike name cannot hide in a long origin.
constexpr const char* kBoxText =
    "網站\r\n\r\n"
    "    {host}\r\n\r\n"
    "（{origin}）要求使用您的憑證IC卡。\r\n\r\n"
    "您同意後，此網站將可以：\r\n"
    "・讀取持卡人的姓名、身分證統一編號及憑證資料\r\n"
    "・檢查卡片的PIN碼（多次輸入錯誤的PIN碼可能鎖住卡片）\r\n"
    "・向驗證服務驗證卡片的憑證\r\n\r\n"
    "是否允許此網站使用憑證IC卡？";

// The text with {name} replaced by value.
std::string Fill(std::string_view text, std::string_view name, std::string_view value);

}  // namespace qelt::bridge::text
