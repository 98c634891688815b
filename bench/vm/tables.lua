-- 3 million array stores, 5 summing passes over them, 500,000 string-keyed stores and a
-- traversal summing their values, as tables.kvs.
local t = {}
for i = 1, 3000000 do t[i] = i end
local sum = 0
for pass = 1, 5 do
  for i = 1, 3000000 do sum = sum + t[i] end
end
print("array sum", sum)
local k = {}
for i = 1, 500000 do k["k" .. i] = i end
sum = 0
for _, v in next, k do sum = sum + v end
print("keyed sum", sum)
