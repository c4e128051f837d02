-- The core host's configuration for the product's life under Wine: the shipped one, plus a
-- record of the page's round trip in roundtrip.log beside the program.
Width = 900
Height = 600
caption_width = 900
caption_height = 27
EnterHtml = "index.htm"

function Echo(text)
  CallJsFunc("OnEcho", "echo:" .. tostring(text))
end

function Record(text)
  local f = io.open("roundtrip.log", "ab")
  if f then
    f:write(tostring(text), "\n")
    f:close()
  end
  return true
end
