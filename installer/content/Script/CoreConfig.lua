-- The core host's configuration: window size, the title bar's draggable area and the entry page.
Width = 900
Height = 600
caption_width = 900
caption_height = 27
EnterHtml = "index.htm"

-- The page's round trip: the page calls Lua with a text, Lua answers through CallJsFunc.
function Echo(text)
  CallJsFunc("OnEcho", "echo:" .. tostring(text))
end
