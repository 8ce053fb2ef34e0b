-- wrk script: the window's synthesis request with a 20-character text, authenticated with
-- the key in VIRN_BENCH_KEY.
local function base64(data)
  local alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
  return ((data:gsub(".", function(c)
    local bits, byte = "", c:byte()
    for i = 8, 1, -1 do bits = bits .. (byte % 2 ^ i - byte % 2 ^ (i - 1) > 0 and "1" or "0") end
    return bits
  end) .. "0000"):gsub("%d%d%d?%d?%d?%d?", function(bits)
    if #bits < 6 then return "" end
    local value = 0
    for i = 1, 6 do value = value + (bits:sub(i, i) == "1" and 2 ^ (6 - i) or 0) end
    return alphabet:sub(value + 1, value + 1)
  end) .. ({ "", "==", "=" })[#data % 3 + 1])
end

-- 今日はとても良い天気ですね。散歩に行こう
local text = "%E4%BB%8A%E6%97%A5%E3%81%AF%E3%81%A8%E3%81%A6%E3%82%82%E8%89%AF%E3%81%84" ..
             "%E5%A4%A9%E6%B0%97%E3%81%A7%E3%81%99%E3%81%AD%E3%80%82%E6%95%A3%E6%AD%A9" ..
             "%E3%81%AB%E8%A1%8C%E3%81%93%E3%81%86"

wrk.method = "POST"
wrk.body = "&speaker=haruka&emotion=&emotionLevel=2&volume=50&speed=100&pitch=100" ..
           "&format=wav&text=" .. text
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
wrk.headers["Authorization"] = "Basic " .. base64(os.getenv("VIRN_BENCH_KEY") .. ":")
