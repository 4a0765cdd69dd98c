-- POST screenshots/upload with a JPEG of SHOT_FILE, each with a new
-- client_log_id, round robin over the members' tokens.
local members = tonumber(os.getenv("MEMBERS") or "200")
local f = assert(io.open(os.getenv("SHOT_FILE"), "rb"))
local jpeg = f:read("*a")
f:close()
local n = 0
local counter = 0

setup = function(thread)
  counter = counter + 1
  thread:set("thread_id", counter)
end

local function field(b, name, value)
  return "--" .. b .. "\r\nContent-Disposition: form-data; name=\"" .. name .. "\"\r\n\r\n" .. value .. "\r\n"
end

request = function()
  n = n + 1
  local b = "cv-bench"
  local body = field(b, "device_id", "") .. field(b, "captured_at[]", "2026-01-01 10:00:00")
    .. field(b, "visual_hash[]", "0011223344556677") .. field(b, "client_log_id[]", "T" .. thread_id .. "-" .. n)
    .. "--" .. b .. "\r\nContent-Disposition: form-data; name=\"files[]\"; filename=\"capture-1.jpg\"\r\n"
    .. "Content-Type: image/jpeg\r\n\r\n" .. jpeg .. "\r\n--" .. b .. "--\r\n"
  return wrk.format("POST", "/api/v1/screenshots/upload",
    { ["Authorization"] = "Bearer zs_bench_" .. ((n % members) + 1),
      ["Content-Type"] = "multipart/form-data; boundary=" .. b }, body)
end
