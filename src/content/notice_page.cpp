#include "content/notice_page.h"

#include <cerrno>
#include <cstring>

namespace content {

std::string_view unreadableChapterPage()
{
    return "<!DOCTYPE html>\n"
           "<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>无法读取本章</title></head>\n"
           "<body style=\"margin:2em;font-family:sans-serif;color:#333\">\n"
           "<h1>无法读取本章</h1>\n"
           "<p>抱歉，本章内容无法从书库中读取。请使用目录或翻页按钮阅读其他章节。</p>\n"
           "</body></html>\n";
}

std::string unwrittenChapterPage(int error)
{
    std::string reason;
    if (error == ENOSPC || error == EDQUOT)
        reason = "磁盘已满，本章无法写出。请腾出磁盘空间后再翻到本章。";
    else if (error == EACCES || error == EPERM || error == EROFS || error == ENOENT || error == ENOTDIR)
        reason = "章节文件夹无法写入，本章无法写出。";
    else
        reason = std::string("本章无法写出：") + std::strerror(error);
    std::string escaped;
    for (const char c : reason) {
        switch (c) {
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '&': escaped += "&amp;"; break;
        default: escaped += c;
        }
    }
    return "<!DOCTYPE html>\n"
           "<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>无法显示本章</title></head>\n"
           "<body style=\"margin:2em;font-family:sans-serif;color:#333\">\n"
           "<h1>无法显示本章</h1>\n"
           "<p>" +
           escaped + "</p>\n</body></html>\n";
}

}  // namespace content
