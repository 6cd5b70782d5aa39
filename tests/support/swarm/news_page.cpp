#include "tests/support/swarm/news_page.h"

namespace swarm {

std::string MakeNewsPage() {
    return R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Varnholt - News</title>
<style>
  body { margin: 0; padding: 16px 20px; background: #15110d; color: #d9cbb0;
         font-family: Georgia, "Times New Roman", serif; font-size: 14px; }
  h1 { margin: 0 0 12px; color: #e8b455; font-size: 22px; letter-spacing: 1px; }
  .item { border-top: 1px solid #4a3a26; padding: 10px 0; }
  .date { color: #9a8663; font-size: 12px; }
  h2 { margin: 2px 0 6px; color: #f0dcb4; font-size: 16px; }
  a { color: #e8b455; }
</style>
</head>
<body>
<h1>News of Varnholt</h1>
<div class="item">
  <div class="date">7 December 2026</div>
  <h2>Winter update: The Frozen Marches</h2>
  <p>The northern passes are open. New quests wait in the Frozen Marches, the ice trolls have
  learnt a few new tricks, and the city guard finally fixed the gate of Old Harbour.</p>
</div>
<div class="item">
  <div class="date">28 November 2026</div>
  <h2>Server maintenance</h2>
  <p>On Thursday from 06:00 to 08:00 the realms are closed for maintenance. The launcher brings
  your client up to date when you next start it.</p>
</div>
<div class="item">
  <div class="date">14 November 2026</div>
  <h2>Balance changes for archers</h2>
  <p>Longbows draw a little faster and the Hunter's Mark now lasts twelve seconds. Read the full
  notes on our site.</p>
</div>
<p><a href="https://varnholt.example.com/news" target="_blank">All news on varnholt.example.com</a></p>
</body>
</html>
)";
}

}  // namespace swarm
