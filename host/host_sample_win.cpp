// The sample Japanese message and reply the demo shows and the tests use.
#include "host.h"

HostMessage hostSampleMessage()
{
    HostMessage m;
    m.from = "山田 太郎 <taro@example.jp>";
    m.subject = "Re: 来週の打ち合わせについて";
    m.date = "Tue, 08 Dec 2026 10:15:00 +0900";
    m.body = {
        "佐藤さん",
        "",
        "山田です。ご連絡ありがとうございます。",
        "",
        "> 来週の打ち合わせですが、火曜日の午後はいかがでしょうか。",
        "> 資料は前日までにお送りします。",
        ">> 先日はありがとうございました。",
        ">> 次回の日程を決めたいと思います。",
        "＞＞＞ 議事録を添付します。",
        "> | 会議室は三階です。",
        "",
        "火曜日の午後で大丈夫です。",
        "資料をお待ちしております。",
        "",
        "-- ",
        "山田 太郎 <taro@example.jp>",
        "株式会社サンプル 開発部",
    };
    return m;
}

std::string hostSampleReplyText()
{
    return "佐藤さん\r\n"
           "\r\n"
           "> 来週の打ち合わせですが、火曜日の午後はいかがでしょうか。\r\n"
           "> 資料は前日までにお送りします。\r\n"
           ">> 先日はありがとうございました。\r\n"
           "\r\n"
           "承知しました。\t火曜日の十四時から伺います。\r\n"
           "よろしくお願いいたします。\r\n";
}
