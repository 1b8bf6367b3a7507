error("deliberate failure")
