#include "content/notice_page.h"

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

}  // namespace content
